#include "request/gopher.h"

#include <cstring>

#include "config/extension_table.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/screen_log.h"
#include "platform/file_names.h"
#include "platform/strings.h"
#include "request/listing.h"
#include "request/path_mapping.h"

namespace qxs {
namespace {

constexpr const char* kDoublePeriodAnswer =
    "3\r\n\r\nDouble periods in filename!\r\n\r\nDouble periods (..) in file names are not "
    "allowed by this server \r\n(QXServer for MSWindows)!\r\n\r\n.\r\n";

// The header of a gopher+ reply whose end is the usual "." line.
constexpr const char* kGopherPlusHeader = "+-1\r\n";

// Every refusal of a selector gets the same answer, so a client learns
// nothing about why it was refused.
void refuse_selector(Connection& c) {
    send_text(c, kDoublePeriodAnswer);
    screen_log("Double periods in filename!\r\n");
    close_connection(c);
}

void send_root_menu(Connection& c) {
    if (c.gopher_plus) send_text(c, kGopherPlusHeader);
    if (settings.gopher_about_hide != 1) {
        char about[256];
        format_text(about, sizeof about, "%s0About this gopher server\tAbout\t%s\t%d\r\n",
                    c.gopher_plus ? "+INFO: " : "", engine.server_name, settings.gopherport);
        send_text(c, about);
    }
    send_directory(c, "", 0);
}

void send_menu(Connection& c, const char* virtual_path) {
    if (c.gopher_plus) send_text(c, kGopherPlusHeader);
    send_directory(c, virtual_path, 0);
}

void send_item(Connection& c, const char* name, char type) {
    c.gopher_item = type;
    queuegopherfile(c, name, type == '0' ? 0 : 1, 0);
}

// Maps a gopher path (tidied in `selector`) into `name`; a refusal is
// answered and false returned.
bool map_selector(Connection& c, char* selector, char* name) {
    if (aliasToDosDir(selector, name, kRequestGopher, c.remote_address, &c.alias, c.auth_user,
                      c.auth_password) >= 0) {
        return true;
    }
    refuse_selector(c);
    return false;
}

// A selector of a type letter and a path.
void serve_typed_selector(Connection& c, const char* line) {
    char selector[sizeof c.path];
    copy_text(selector, sizeof selector, line + 1);
    char name[kMappedNameSize];
    if (map_selector(c, selector, name)) send_item(c, name, line[0]);
}

// A selector that is a path of the gopher tree, as clients derive it from a
// URL ("gopher://host/1/" sends "/"): a directory gets its menu, a file is
// sent as the item its extension makes it.
void serve_path_selector(Connection& c, const char* line) {
    char selector[sizeof c.path];
    copy_text(selector, sizeof selector, line);
    char name[kMappedNameSize];
    if (!map_selector(c, selector, name)) return;
    if (!is_directory(name)) {
        send_item(c, name, gopher_type_for(last_path_component(name)));
        return;
    }
    // Menus name their directory without a closing separator.
    size_t length = std::strlen(selector);
    while (length > 0 && is_path_separator(selector[length - 1])) selector[--length] = '\0';
    if (length == 0) {
        send_root_menu(c);
    } else {
        send_menu(c, selector);
    }
}

// The gopher+ attributes of one item: its menu line, which is all this
// server knows of it.
void send_item_attributes(Connection& c, const char* line) {
    char type = line[0] == '\0' ? '1' : line[0];
    const char* shown = line[0] == '\0' ? engine.server_name : last_path_component(line + 1);
    if (line[0] == '/') {
        char selector[sizeof c.path];
        copy_text(selector, sizeof selector, line);
        char name[kMappedNameSize];
        if (!map_selector(c, selector, name)) return;
        type = is_directory(name) ? '1' : gopher_type_for(last_path_component(name));
        shown = last_path_component(line);
    }
    char text[sizeof c.path * 2 + 256];
    format_text(text, sizeof text, "%s+INFO: %c%s\t%s\t%s\t%d\r\n.\r\n", kGopherPlusHeader, type,
                shown, line, engine.server_name, settings.gopherport);
    send_text(c, text);
    close_connection(c);
}

}  // namespace

void serve_gopher(Connection& c, const char* line, GopherPlus plus) {
    const bool menu = line[0] == '\0' || line[0] == '1' || line[0] == '/';
    if (plus == GopherPlus::kItem || (plus == GopherPlus::kDirectory && !menu)) {
        send_item_attributes(c, line);
        return;
    }
    c.gopher_plus = plus == GopherPlus::kDirectory;
    if (line[0] == '\0') {
        send_root_menu(c);
    } else if (line[0] == '/' && c.gopher_port) {
        serve_path_selector(c, line);
    } else if (line[0] == '1') {
        send_menu(c, line + 1);
    } else {
        serve_typed_selector(c, line);
    }
}

void answer_gopher_error(Connection& c) {
    // The echo must stay one field of one line.
    char echoed[sizeof c.raw_command];
    copy_text(echoed, sizeof echoed, c.raw_command);
    for (char* p = echoed; *p != '\0'; ++p) {
        if (*p == '\t' || *p == '\r' || *p == '\n') *p = ' ';
    }
    char text[sizeof echoed + 256];
    format_text(text, sizeof text,
                "3You said [%s], and either that is an error, or this server doesn't understand "
                "it.\t\terror.host\t1\r\n.\r\n",
                echoed);
    send_text(c, text);
    close_connection(c);
}

}  // namespace qxs
