// Aliases (virtual directories), users and groups from the settings file, and
// the checks that path mapping makes for an alias with an owner.
#pragma once

namespace qxs {

struct Alias {
    char* virtual_path = nullptr;  // URL prefix, URL-decoded
    char* dos_path = nullptr;      // the directory (or file prefix) it maps to
    char* owner = nullptr;         // user or group; "Anybody" when none given
    char* access = nullptr;        // "Anywhere" when none given
    bool scripts_allowed = false;
    bool boards_allowed = false;
    bool directory_browsing = false;
};

inline constexpr int kMaxAliases = 200;
inline constexpr int kMaxUsers = 100;
inline constexpr int kMaxGroups = 10;
inline constexpr int kMaxGroupMembers = 100;

struct User {
    char* name = nullptr;      // lower case
    char* password = nullptr;  // plain text; nullptr when none
};

struct Group {
    char* name = nullptr;  // "Admins": first letter upper case, the rest lower
    char* members[kMaxGroupMembers] = {};
    int member_count = 0;
    char* external_file = nullptr;  // INI file with section [Users]; nullptr when none
};

struct AccessTables {
    Alias* aliases = nullptr;  // room for kMaxAliases, allocated on the first load
    int alias_count = 0;
    User users[kMaxUsers];
    int user_count = 0;
    Group groups[kMaxGroups];
    int group_count = 0;
};

extern AccessTables access_tables;

// Loading from the settings file (the [Aliases], [Users] and [Groups]
// sections, and scramble_passwords / scramble_version of [Options]), and
// release. Failures are logged with "*** Error!  " and drop one entry.
void load_aliases(const char* file);
void load_users(const char* file);
void load_groups(const char* file);
void release_access_tables();

// 0 accepted; -1 no user name; -2 no password; -3 wrong password; -4 no such user.
int check_user_password(const char* user, const char* password);
// 1 when the group (name without regard to case) lists the user (exactly).
int is_group_member(const char* user, const char* group);
// 1 when the group's external password file accepts the user and password.
int check_external_password(const char* user, const char* password, const char* group);

// Decodes a Basic credentials token into `out` (room for at least
// 3 * strlen(text) / 4 + 4 bytes); cut at `size` when given.
void decode_base64(const char* text, char* out, int size);
// The plain text of a 34-character scrambled password; out has room for 17.
void unscramble_password(const char* text, char* out);

// The three tables on the screen log.
void list_aliases();
void list_users();
void list_groups();

}  // namespace qxs
