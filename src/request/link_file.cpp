#include "request/link_file.h"

#include "engine/server.h"
#include "platform/dos_files.h"
#include "platform/escaping.h"
#include "platform/strings.h"

namespace qxs {

LinkTable link_table;

namespace {

// Lines are read in pieces of at most this many characters; each piece is
// taken as a line of its own.
constexpr int kLinkLinePiece = 79;

bool is_field_separator(char ch) {
    return ch == '=' || ch == '\t' || ch == '\r' || ch == '\n';
}

// The next piece of `*cursor` between separators (runs count as one, leading
// ones skipped), terminated in place; nullptr when none is left.
char* next_piece(char** cursor) {
    char* p = *cursor;
    while (*p != '\0' && is_field_separator(*p)) ++p;
    if (*p == '\0') {
        *cursor = p;
        return nullptr;
    }
    char* start = p;
    while (*p != '\0' && !is_field_separator(*p)) ++p;
    if (*p != '\0') *p++ = '\0';
    *cursor = p;
    return start;
}

// Starts the next entry of the table; false when the table is full.
bool start_entry() {
    if (link_table.count >= kMaxLinkEntries) return false;
    link_entry& entry = link_table.entries[link_table.count++];
    entry.name[0] = '\0';
    entry.type = '\0';
    entry.path[0] = '\0';
    copy_text(entry.host, sizeof entry.host, engine.server_name);
    copy_text(entry.port, sizeof entry.port, "70");
    entry.local = true;
    return true;
}

enum class LinkKey { kName, kType, kPath, kHost, kPort, kOther };

// Keys are matched by their beginning, case ignored, the first match deciding.
LinkKey key_kind(const char* key) {
    if (prefix_match(key, "name")) return LinkKey::kName;
    if (prefix_match(key, "type")) return LinkKey::kType;
    if (prefix_match(key, "path")) return LinkKey::kPath;
    if (prefix_match(key, "host")) return LinkKey::kHost;
    if (prefix_match(key, "port")) return LinkKey::kPort;
    return LinkKey::kOther;
}

void set_trimmed(char* field, size_t size, const char* value) {
    copy_text(field, size, value);
    trim_trailing_spaces(field);
}

// A path "./name" is relative to the listed directory: its first two
// characters are dropped (only the one of a bare ".").
const char* relative_part(const char* path) {
    return path[1] != '\0' ? path + 2 : path + 1;
}

}  // namespace

int read_link_file(const char* file_name) {
    dos::TextFile file;
    if (!file.open(file_name)) return -1;
    link_table.count = 0;
    start_entry();
    link_entry* current = &link_table.entries[0];

    char line[kLinkLinePiece + 1];
    while (file.gets(line, sizeof line) != nullptr) {
        if (line[0] == '\r' || line[0] == '\n' || line[0] == '#') continue;
        char* cursor = line;
        const char* key = next_piece(&cursor);
        const char* value = key != nullptr ? next_piece(&cursor) : nullptr;
        if (value == nullptr) continue;

        const LinkKey kind = key_kind(key);
        if ((kind == LinkKey::kName && current->name[0] != '\0') ||
            (kind == LinkKey::kPath && current->path[0] != '\0')) {
            // Every later line belongs to an entry beyond the table's room.
            if (!start_entry()) break;
            current = &link_table.entries[link_table.count - 1];
        }
        switch (kind) {
            case LinkKey::kName:
                set_trimmed(current->name, sizeof current->name, value);
                break;
            case LinkKey::kType:
                current->type = value[0];
                break;
            case LinkKey::kPath:
                set_trimmed(current->path, sizeof current->path, value);
                break;
            case LinkKey::kHost:
                set_trimmed(current->host, sizeof current->host, value);
                current->local = false;
                break;
            case LinkKey::kPort:
                copy_text(current->port, sizeof current->port, value);
                break;
            case LinkKey::kOther:
                break;
        }
    }
    return 0;
}

size_t format_link_line(const link_entry& entry, const char* virtual_path, int html, char* out,
                        size_t size) {
    const bool relative = entry.path[0] == '.';
    if (html) {
        char url[4096];
        if (entry.local) {
            format_text(url, sizeof url, "http://%s:%s", entry.host, entry.port);
        } else {
            format_text(url, sizeof url, "gopher://%s:%s/", entry.host, entry.port);
        }
        // The type goes into a remote link twice when there is a path; an
        // entry without a type adds nothing there.
        const char type[2] = {entry.type, '\0'};
        if (!entry.local) append_text(url, sizeof url, type);
        if (entry.path[0] != '\0') {
            if (!entry.local) append_text(url, sizeof url, type);
            char path[1200];
            format_text(path, sizeof path, "%s%s", relative ? virtual_path : "",
                        relative ? relative_part(entry.path) : entry.path);
            // What a path part cannot carry as it stands goes percent-encoded.
            char encoded[3 * sizeof path];
            percent_encode(path, kPathUnsafe, encoded, sizeof encoded);
            append_text(url, sizeof url, encoded);
            if (entry.local && entry.type == '1') append_text(url, sizeof url, "/");
        } else if (entry.local) {
            append_text(url, sizeof url, "/");
        }
        char name[sizeof entry.name * 6];
        html_escape(entry.name, name, sizeof name);
        return format_text(out, size, "<A HREF = \"%s\">%s</A>\r\n", url, name);
    }

    if (entry.type == '\0') return 0;
    if (entry.path[0] == '\0') {
        return format_text(out, size, "%c%s\t\t%s\t%s\r\n", entry.type, entry.name, entry.host,
                           entry.port);
    }
    char selector[1600];
    if (relative) {
        format_text(selector, sizeof selector, "%s/%s", virtual_path, relative_part(entry.path));
    } else {
        copy_text(selector, sizeof selector, entry.path);
    }
    return format_text(out, size, "%c%s\t%c%s\t%s\t%s\r\n", entry.type, entry.name, entry.type,
                       selector, entry.host, entry.port);
}

bool hidden_by_link(const char* listed_name) {
    for (int i = 0; i < link_table.count; ++i) {
        const char* path = link_table.entries[i].path;
        if (path[0] == '.' && compare_no_case(relative_part(path), listed_name) == 0) return true;
    }
    return false;
}

}  // namespace qxs
