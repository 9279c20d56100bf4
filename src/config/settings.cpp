#include "config/settings.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "config/access_tables.h"
#include "config/extension_table.h"
#include "config/table_text.h"
#include "logging/screen_log.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {

Settings settings;

namespace {

std::string settings_file_name = "qxserver.ini";

enum class Kind {
    kNumber,
    kText,
    kDirectory,  // a text that always ends in a backslash
    kHeapText,   // a text kept as a heap copy, nullptr when missing or empty
};

// One key of the settings file and the field it fills.
struct Row {
    const char* section;
    const char* key;
    Kind kind;
    int number_default;
    const char* text_default;
    int max_chars;  // the most characters a text keeps
    int* number;
    char* text;
    size_t capacity;  // bytes of `text`
    char** heap;
    // What a number's use allows. Outside it the default is used, or the
    // nearest bound for a size.
    int lowest = INT_MIN;
    int highest = INT_MAX;
    bool size = false;
};

constexpr Row number(const char* section, const char* key, int fallback, int& field) {
    return {section, key, Kind::kNumber, fallback, nullptr, 0, &field, nullptr, 0, nullptr};
}

constexpr Row bounded(const char* section, const char* key, int fallback, int& field, int lowest,
                      int highest, bool size = false) {
    return {section, key, Kind::kNumber, fallback, nullptr, 0,   &field,
            nullptr, 0,   nullptr,       lowest,   highest, size};
}

constexpr int kPortMax = 65535;
// More blocks per turn than this would only wait in the socket.
constexpr int kThrottleMax = 1000;

template <size_t N>
constexpr Row text(const char* section, const char* key, const char* fallback, int max_chars,
                   char (&field)[N], Kind kind = Kind::kText) {
    return {section, key, kind, 0, fallback, max_chars, nullptr, field, N, nullptr};
}

constexpr Row heap_text(const char* section, const char* key, int max_chars, char*& field) {
    return {section, key, Kind::kHeapText, 0, "", max_chars, nullptr, nullptr, 0, &field};
}

constexpr Kind kDir = Kind::kDirectory;
constexpr Settings& s = settings;  // a short name for the rows below

// Every key, in the order the loader reads them.
constexpr Row kRows[] = {
    bounded("Options", "gopherport", 70, s.gopherport, 1, kPortMax),
    bounded("Options", "httpport", 80, s.httpport, 1, kPortMax),
    bounded("Options", "buffsize", 8192, s.buffsize, 8, 8192, true),
    bounded("Options", "maxretry", 1000, s.maxretry, 0, INT_MAX),
    bounded("Options", "pollevery", 200, s.pollevery, 1, INT_MAX),
    bounded("Options", "throttle", 4, s.throttle, 0, kThrottleMax, true),
    number("Options", "sound", 0, s.sound),
    number("Options", "greedy", 0, s.greedy),
    number("Options", "minimize", 0, s.minimize),
    number("Options", "view_connects", 0, s.view_connects),
    number("Options", "view_commands", 1, s.view_commands),
    number("Options", "view_files", 0, s.view_files),
    number("Options", "view_closing", 0, s.view_closing),
    number("Options", "debug1", 0, s.debug1),
    number("Options", "debug2", 0, s.debug2),
    number("Options", "debug3", 0, s.debug3),
    number("Options", "DNS_mode", 0, s.DNS_mode),
    number("Options", "DDE_mode", 1, s.DDE_mode),
    number("Options", "socketver", 0, s.socketver),
    text("Options", "hostname", "", 98, s.hostname),
    text("Options", "ip", "", 15, s.ip),
    text("Options", "tempdir", "c:\\qxs\\temp\\", 253, s.tempdir),
    text("Options", "logdir", "c:\\qxs\\logs\\", 253, s.logdir),
    text("Options", "gopherdir", "c:\\qxs\\gopher\\", 253, s.gopherdir, kDir),
    text("Options", "webdir", "c:\\qxs\\html\\", 253, s.webdir, kDir),
    text("Options", "althomepage", "", 253, s.althomepage),
    text("Options", "reject_ip_filename", "", 253, s.reject_ip_filename),
    text("Options", "gopher_about_filename", "", 253, s.gopher_about_filename),
    number("Options", "gopher_about_hide", 0, s.gopher_about_hide),
    text("CGI", "GMT_Offset", "No", 14, s.GMT_Offset),
    text("CGI", "Debug_Mode", "No", 14, s.Debug_Mode),
    text("CGI", "Perl_Compiler", "perl386", 254, s.Perl_Compiler),
    text("CGI", "Perl_Dir", "c:\\qxs\\", 254, s.Perl_Dir),
    bounded("CGI", "Timeout", 180, s.Timeout, 1, INT_MAX),
    text("Registration", "name", "", 78, s.name),
    text("Registration", "organization", "", 78, s.organization),
    text("Registration", "email", "", 78, s.email),
    text("Registration", "logo", "", 254, s.logo),
    text("Options", "security_realm", "", 78, s.security_realm),
    number("Options", "webdirbrowsing", 0, s.webdirbrowsing),
    number("Options", "logany", 1, s.logany),
    number("Options", "logsearchstring", 0, s.logsearchstring),
    number("Options", "countfilehits", 1, s.countfilehits),
    number("Options", "countreferer", 1, s.countreferer),
    heap_text("Extensions", "folder_icon", 254, s.folder_icon),
};

// Longest heap text; its read buffer lives on the stack.
constexpr int kMaxHeapText = 254;

constexpr bool rows_fit() {
    for (const Row& row : kRows) {
        auto need = static_cast<size_t>(row.max_chars) + 1;
        if (row.kind == Kind::kText && row.capacity < need) return false;
        // Room for the backslash the loader may add.
        if (row.kind == Kind::kDirectory && row.capacity < need + 1) return false;
        if (row.kind == Kind::kHeapText && row.max_chars > kMaxHeapText) return false;
    }
    return true;
}
static_assert(rows_fit(), "a settings field is too small for its key");

// A number its use does not allow is replaced, and the operator told which
// value is used instead.
void check_range(const Row& row) {
    int value = *row.number;
    if (value >= row.lowest && value <= row.highest) return;
    int used = row.number_default;
    if (row.size) used = value < row.lowest ? row.lowest : row.highest;
    screen_logf("*** Error!  %s=%d is out of range (%d to %d); using %d\r\n", row.key, value,
                row.lowest, row.highest, used);
    *row.number = used;
}

void read_row(const Row& row, const char* file) {
    switch (row.kind) {
        case Kind::kNumber:
            *row.number = profile::get_int(row.section, row.key, row.number_default, file);
            check_range(row);
            break;
        case Kind::kText:
            profile::get_string(row.section, row.key, row.text_default, row.text, row.max_chars + 1,
                                file);
            break;
        case Kind::kDirectory: {
            profile::get_string(row.section, row.key, row.text_default, row.text, row.max_chars + 1,
                                file);
            size_t length = std::strlen(row.text);
            if (length == 0 || row.text[length - 1] != '\\') {
                append_text(row.text, row.capacity, "\\");
            }
            break;
        }
        case Kind::kHeapText: {
            std::free(*row.heap);
            *row.heap = nullptr;
            char value[kMaxHeapText + 1];
            profile::get_string(row.section, row.key, row.text_default, value, row.max_chars + 1,
                                file);
            if (value[0] == '\0') break;
            *row.heap = config::heap_copy(value);
            if (*row.heap == nullptr) {
                screen_log("*** Error!  Unable to allocate memory for folder icon!\r\n");
            }
            break;
        }
    }
}

}  // namespace

void set_settings_file(const std::string& name) {
    settings_file_name = name;
}

const char* settings_file() {
    return settings_file_name.c_str();
}

void load_settings() {
    const char* file = settings_file();
    screen_log("Reading ini file...\r\n");
    allocate_alias_table();
    for (const Row& row : kRows) read_row(row, file);
    extension_table.load_settings_file(file);
    load_aliases(file);
    load_users(file);
    load_groups(file);
}

void release_settings() {
    screen_log("Freeing old INI information...\r\n");
    std::free(settings.folder_icon);
    settings.folder_icon = nullptr;
    release_access_tables();
}

void reload_settings() {
    release_settings();
    // The operator asked for the file as it is on disk now.
    profile::forget_all();
    load_settings();
}

}  // namespace qxs
