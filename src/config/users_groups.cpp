// The user table (section [Users]) and the group table (section [Groups]).
#include <cstdlib>
#include <cstring>

#include "config/access_tables.h"
#include "config/table_text.h"
#include "logging/screen_log.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {
namespace {

constexpr int kMaxUserLine = 511;
constexpr int kMaxGroupLine = 1021;
constexpr int kScrambledLength = 34;

// Whether passwords are scrambled, and whether we can read their scrambling.
struct Scrambling {
    bool on = false;
    bool readable = true;
};

Scrambling read_scrambling(const char* file) {
    char flag[8];
    char version[8];
    profile::get_string("Options", "scramble_passwords", "", flag, sizeof flag, file);
    profile::get_string("Options", "scramble_version", "1.5", version, sizeof version, file);
    Scrambling scrambling;
    scrambling.on = flag[0] == 'Y' || flag[0] == 'y';
    scrambling.readable = compare_no_case(version, "1.5") == 0;
    return scrambling;
}

// The password to store for `field` into *out (nullptr for none). False when
// the user is to be skipped; the reason is logged.
bool user_password(const char* field, const Scrambling& scrambling, char** out) {
    *out = nullptr;
    if (field == nullptr) return true;
    char plain[kPlainPasswordSize];
    if (scrambling.on) {
        if (!scrambling.readable) {
            screen_log("*** Error!  Unable to read passwords scrambled with newer version!\r\n");
            return false;
        }
        if (std::strlen(field) != kScrambledLength) {
            screen_log("*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n");
            return false;
        }
        unscramble_password(field, plain);
        field = plain;
    }
    *out = config::heap_copy(field);
    if (*out != nullptr) return true;
    screen_log("*** Error!  Unable to allocate memory for user-password map!\r\n");
    return false;
}

// Adds the members named in `text` (split at blanks, commas and line ends)
// to `group`, in lower case; names beyond the table's room are ignored.
void add_members(Group& group, char* text) {
    char* cursor = text;
    while (group.member_count < kMaxGroupMembers) {
        char* piece = config::next_field(&cursor, " ,\t\r\n");
        if (piece == nullptr) return;
        char* member = config::heap_copy(piece);
        if (member == nullptr) {
            screen_log("*** Error!  Unable to allocate memory for group map!\r\n");
            continue;
        }
        config::lower_case(member);
        group.members[group.member_count++] = member;
    }
}

const char* or_null(const char* text) {
    return text != nullptr ? text : "(null)";
}

}  // namespace

void config::release_users() {
    for (int i = 0; i < access_tables.user_count; ++i) {
        User& user = access_tables.users[i];
        std::free(user.name);
        std::free(user.password);
        user = User{};
    }
    access_tables.user_count = 0;
}

void config::release_groups() {
    for (int i = 0; i < access_tables.group_count; ++i) {
        Group& group = access_tables.groups[i];
        std::free(group.name);
        std::free(group.external_file);
        for (int m = 0; m < group.member_count; ++m) std::free(group.members[m]);
        group = Group{};
    }
    access_tables.group_count = 0;
}

void load_users(const char* file) {
    config::release_users();
    Scrambling scrambling = read_scrambling(file);
    char line[kMaxUserLine + 1];
    for (int n = 1; n <= kMaxUsers; ++n) {
        if (!config::read_numbered(file, "Users", "User", n, line, sizeof line)) break;
        char* cursor = line;
        char* name_field = config::next_field(&cursor, " ");
        char* password_field = config::next_field(&cursor, " ");
        char* name = config::heap_copy(name_field);
        if (name == nullptr) {
            screen_log("*** Error!  Unable to allocate memory for users map!\r\n");
            continue;
        }
        config::lower_case(name);
        char* password = nullptr;
        if (!user_password(password_field, scrambling, &password)) {
            std::free(name);
            continue;
        }
        User& user = access_tables.users[access_tables.user_count++];
        user.name = name;
        user.password = password;
    }
}

void load_groups(const char* file) {
    config::release_groups();
    char line[kMaxGroupLine + 1];
    char key[32];
    for (int n = 1; n <= kMaxGroups; ++n) {
        if (!config::read_numbered(file, "Groups", "Group", n, line, sizeof line)) break;
        char* rest = std::strchr(line, ' ');
        if (rest != nullptr) {
            *rest++ = '\0';
        } else {
            rest = line + std::strlen(line);
        }
        Group& group = access_tables.groups[access_tables.group_count];
        group.name = config::heap_copy(line);
        if (group.name == nullptr) {
            screen_log("*** Error!  Unable to allocate memory for groups map!\r\n");
            continue;
        }
        // "admins" and "ADMINS" are both stored as "Admins".
        config::lower_case(group.name);
        group.name[0] = ascii_upper(group.name[0]);
        add_members(group, rest);

        format_text(key, sizeof key, "Group%d.exFile", n);
        if (profile::get_string("Groups", key, "", line, sizeof line, file) > 0 &&
            line[0] != '\0') {
            group.external_file = config::heap_copy(line);
            if (group.external_file == nullptr) {
                screen_log("*** Error!  Unable to allocate memory for group map!\r\n");
            }
        }
        ++access_tables.group_count;
    }
}

void list_users() {
    screen_log("\r\n----------- Users --------------\r\n");
    screen_log("    #              Name -  Password\r\n");
    char text[kMaxUserLine + 64];
    for (int i = 0; i < access_tables.user_count; ++i) {
        const User& user = access_tables.users[i];
        format_text(text, sizeof text, "  %2d)  %16s - '%s'\r\n", i, user.name,
                    or_null(user.password));
        screen_log(text);
    }
}

void list_groups() {
    screen_log("\r\n----------- Groups ------------\r\n");
    screen_log("    #        Group Name --  Members\r\n");
    char text[kMaxGroupLine + 64];
    for (int i = 0; i < access_tables.group_count; ++i) {
        const Group& group = access_tables.groups[i];
        format_text(text, sizeof text, "  %2d)  %16s -- ", i, group.name);
        screen_log(text);
        for (int m = 0; m < group.member_count; ++m) {
            format_text(text, sizeof text, " '%s'", group.members[m]);
            screen_log(text);
        }
        screen_log("\r\n");
    }
}

}  // namespace qxs
