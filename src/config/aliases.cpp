// The alias table: virtual directories from section [Aliases].
#include <cstdlib>
#include <new>

#include "config/access_tables.h"
#include "config/table_text.h"
#include "logging/screen_log.h"
#include "platform/escaping.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {
namespace {

constexpr int kMaxAliasLine = 511;
bool alias_table_tried = false;

void release_alias(Alias& alias) {
    std::free(alias.virtual_path);
    std::free(alias.dos_path);
    std::free(alias.owner);
    std::free(alias.access);
    alias = Alias{};
}

// Copies `text` into *field; on failure logs `message` and says so.
bool copy_field(char** field, const char* text, const char* message) {
    *field = config::heap_copy(text);
    if (*field != nullptr) return true;
    screen_log(message);
    return false;
}

// Fills `alias` from the fields of one line. False (with the alias released)
// when the line names no complete mapping or a copy fails: an alias missing
// a string is left out rather than kept with less protection than written.
bool parse_alias(int number, char* line, Alias& alias) {
    char* cursor = line;
    char* fields[7] = {};
    for (char*& field : fields) {
        field = config::next_field(&cursor, " ");
        if (field == nullptr) break;
    }
    if (fields[0] != nullptr) url_decode(fields[0]);
    if (fields[1] != nullptr) url_decode(fields[1]);
    if (fields[0] == nullptr || fields[0][0] == '\0' || fields[1] == nullptr ||
        fields[1][0] == '\0') {
        screen_logf("*** Error!  Alias%d needs a virtual path and a DOS path!\r\n", number);
        return false;
    }
    const char* map_message = "*** Error!  Unable to allocate memory for alias map!\r\n";
    bool copied = copy_field(&alias.virtual_path, fields[0], map_message) &&
                  copy_field(&alias.dos_path, fields[1], map_message) &&
                  copy_field(&alias.owner, fields[2] != nullptr ? fields[2] : "Anybody",
                             "*** Error!  Unable to allocate memory for alias map owner!\r\n") &&
                  copy_field(&alias.access, fields[3] != nullptr ? fields[3] : "Anywhere",
                             "*** Error!  Unable to allocate memory for alias map access!\r\n");
    if (!copied) {
        release_alias(alias);
        return false;
    }
    auto letter = [&](int index) { return fields[index] != nullptr ? fields[index][0] : '\0'; };
    char script = letter(4);
    char board = letter(5);
    char browse = letter(6);
    alias.scripts_allowed = script == 'C' || script == 'c' || script == 'S' || script == 's';
    alias.boards_allowed = board == 'M' || board == 'm';
    alias.directory_browsing = browse == 'D' || browse == 'd';
    return true;
}

}  // namespace

void config::release_aliases() {
    if (access_tables.aliases != nullptr) {
        for (int i = 0; i < access_tables.alias_count; ++i) release_alias(access_tables.aliases[i]);
    }
    access_tables.alias_count = 0;
}

void allocate_alias_table() {
    if (alias_table_tried) return;
    alias_table_tried = true;
    access_tables.aliases = new (std::nothrow) Alias[kMaxAliases];
    if (access_tables.aliases == nullptr) {
        screen_log("\r\n*** Error - Unable to allocate space for aliases!\r\n");
    }
}

void load_aliases(const char* file) {
    config::release_aliases();
    if (access_tables.aliases == nullptr) return;
    char line[kMaxAliasLine + 1];
    for (int n = 1; n <= kMaxAliases; ++n) {
        if (!config::read_numbered(file, "Aliases", "Alias", n, line, sizeof line)) break;
        Alias& alias = access_tables.aliases[access_tables.alias_count];
        if (parse_alias(n, line, alias)) ++access_tables.alias_count;
    }
}

void list_aliases() {
    screen_log("\r\n----------- Aliases --------------\r\n");
    screen_log("    #          Virtual Path -              Dos Path  -   Owner\r\n");
    // Room for the longest line: both paths and the owner come from one line.
    char text[3 * kMaxAliasLine + 64];
    for (int i = 0; i < access_tables.alias_count; ++i) {
        const Alias& alias = access_tables.aliases[i];
        format_text(text, sizeof text, "  %2d)  %20s -  %-20s  -  '%s'\r\n", i, alias.virtual_path,
                    alias.dos_path, alias.owner);
        screen_log(text);
    }
}

}  // namespace qxs
