#include "request/path_mapping.h"

#include <cstring>

#include "config/access_tables.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "logging/screen_log.h"
#include "platform/file_names.h"
#include "platform/strings.h"

namespace qxs {
namespace {

// Drops the "." pieces of a path, each with the separator after it: they
// name the directory they stand in, and an alias must be found however its
// path is spelt ("/./private/" is "/private/", owner check included).
void drop_dot_pieces(char* path) {
    char* out = path;
    const char* p = path;
    for (;;) {
        const char* end = p;
        while (*end != '\0' && !is_path_separator(*end)) ++end;
        const bool dot = end - p == 1 && p[0] == '.';
        if (!dot) {
            std::memmove(out, p, static_cast<size_t>(end - p));
            out += end - p;
        }
        if (*end == '\0') break;
        if (!dot) *out++ = *end;
        p = end + 1;
    }
    *out = '\0';
}

// Every run of separators keeps only its last one.
void collapse_separators(char* path) {
    char* out = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (is_path_separator(p[0]) && is_path_separator(p[1])) continue;
        *out++ = *p;
    }
    *out = '\0';
}

// DOS device names: opening one would talk to the device, never a file.
bool is_device_name(const char* component) {
    if (component[0] == '\0') return false;
    if ((prefix_match(component, "com") || prefix_match(component, "lpt")) &&
        std::strlen(component) == 4 && component[3] >= '1' && component[3] <= '4') {
        return true;
    }
    for (const char* device : {"con", "aux", "prn", "clock$"}) {
        if (compare_no_case(component, device) == 0) return true;
    }
    return (prefix_match(component, "emm") || prefix_match(component, "xms")) &&
           file_extension(component)[0] == '\0';
}

// `path` begins with `prefix`: ASCII letters compared without case, and
// either separator standing for the other ("\private/x" lies under the
// alias "/private/").
bool path_prefix(const char* path, const char* prefix) {
    for (; *prefix != '\0'; ++path, ++prefix) {
        if (is_path_separator(*path) && is_path_separator(*prefix)) continue;
        if (*path == '\0' || ascii_lower(*path) != ascii_lower(*prefix)) return false;
    }
    return true;
}

// The alias whose virtual path is the longest prefix of `path`; among equally
// long ones the first in table order.
const Alias* find_alias(const char* path) {
    const Alias* best = nullptr;
    size_t best_length = 0;
    for (int i = 0; i < access_tables.alias_count; ++i) {
        const Alias& alias = access_tables.aliases[i];
        if (alias.virtual_path == nullptr || !path_prefix(path, alias.virtual_path)) continue;
        size_t length = std::strlen(alias.virtual_path);
        if (best == nullptr || length > best_length) {
            best = &alias;
            best_length = length;
        }
    }
    return best;
}

// `first` followed by `second` into name; false when that would pass the
// 255 characters callers make room for.
bool join(char* name, const char* first, const char* second) {
    size_t a = std::strlen(first);
    size_t b = std::strlen(second);
    if (a + b > kMappedNameSize - 1) return false;
    std::memcpy(name, first, a);
    std::memcpy(name + a, second, b + 1);
    return true;
}

// With only one of page.htm and page.html on disk, either name finds it.
// Other names are left alone without a look at the disk.
void htm_html_fallback(char* name) {
    const char* extension = file_name_extension(name);
    size_t length = std::strlen(name);
    char tried[kMappedNameSize];
    if (compare_no_case(extension, "htm") == 0) {
        if (length + 1 > kMappedNameSize - 1) return;
        std::memcpy(tried, name, length);
        tried[length] = 'l';
        tried[length + 1] = '\0';
    } else if (compare_no_case(extension, "html") == 0) {
        std::memcpy(tried, name, length - 1);
        tried[length - 1] = '\0';
    } else {
        return;
    }
    if (file_size_and_date(name, nullptr, nullptr) != 0) return;
    if (file_size_and_date(tried, nullptr, nullptr) > 0) copy_text(name, kMappedNameSize, tried);
}

int check_owner(const char* owner, const char* user, const char* password) {
    if (owner == nullptr || std::strcmp(owner, "Anybody") == 0) return kMapped;
    if (user == nullptr || user[0] == '\0') return kRefused;
    if (password == nullptr) password = "";
    if (std::strcmp(user, owner) != 0 && is_group_member(user, owner) == 0) {
        return check_external_password(user, password, owner) == 1 ? kMapped : kRefused;
    }
    return check_user_password(user, password) == 0 ? kMapped : kRefused;
}

}  // namespace

int aliasToDosDir(char* virtual_path, char* name, int request_type, const char* remote_address,
                  const Alias** alias_out, const char* user, const char* password) {
    // Addresses are not compared with an alias's access word.
    static_cast<void>(remote_address);
    if (alias_out != nullptr) *alias_out = nullptr;
    if (name == nullptr) {
        screen_log("\r\n*Error in aliasToDosDir() - NULL dosnamebuff\r\n");
        return kHostNotAllowed;
    }
    name[0] = '\0';
    if (virtual_path == nullptr) {
        screen_log("\r\n*Error in aliasToDosDir() - NULL fake\r\n");
        return kNoVirtualPath;
    }

    drop_dot_pieces(virtual_path);
    collapse_separators(virtual_path);
    if (is_device_name(last_path_component(virtual_path))) return kDeviceName;
    // The file layer takes a name with a wildcard as a pattern: "/docs/*.txt"
    // would find some file's size and date, and then no file to send.
    if (std::strpbrk(virtual_path, "*?") != nullptr) return kDeviceName;

    const char* owner = nullptr;
    if (virtual_path[0] == '\0') {
        copy_text(name, kMappedNameSize, settings.gopherdir);
    } else if (const Alias* alias = find_alias(virtual_path); alias != nullptr) {
        const char* dos_path = alias->dos_path != nullptr ? alias->dos_path : "";
        const char* rest = virtual_path + std::strlen(alias->virtual_path);
        size_t dos_length = std::strlen(dos_path);
        if (is_path_separator(rest[0]) && dos_length > 0 &&
            is_path_separator(dos_path[dos_length - 1])) {
            ++rest;
        }
        // The tail of a request path can be far longer than a name may be.
        if (!join(name, dos_path, rest)) {
            name[0] = '\0';
            return kNameTooLong;
        }
        if (alias_out != nullptr) *alias_out = alias;
        owner = alias->owner;
    } else {
        const char* path = is_path_separator(virtual_path[0]) ? virtual_path + 1 : virtual_path;
        const char* base = request_type == kRequestGopher ? settings.gopherdir : settings.webdir;
        if (!join(name, base, path)) {
            name[0] = '\0';
            return kNameTooLong;
        }
    }

    for (char* p = name; *p != '\0'; ++p) {
        if (*p == '/') *p = '\\';
    }
    if (std::strstr(name, "..") != nullptr) return kDoublePeriod;

    htm_html_fallback(name);
    size_t length = std::strlen(name);
    if (length > 0 && name[length - 1] == '\\') name[length - 1] = '\0';

    return check_owner(owner, user, password);
}

}  // namespace qxs
