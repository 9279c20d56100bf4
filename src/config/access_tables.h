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

// Allocates the alias table on the first call only; when that fails the
// failure is logged and no aliases are loaded, then or later.
void allocate_alias_table();

// Loading from the settings file (the [Aliases], [Users] and [Groups]
// sections, and scramble_passwords / scramble_version of [Options]). Each
// replaces what its table held. Failures are logged with "*** Error!  " and
// drop one entry; loading goes on with the next key. An alias line without
// both a virtual path and a DOS path is such a failure: it is left out, so
// no URL is ever mapped to a directory nobody named. Group members beyond
// the 100th are ignored.
void load_aliases(const char* file);
void load_users(const char* file);
void load_groups(const char* file);
// Releases every string of the three tables and empties them; the alias
// table itself stays allocated for the next load.
void release_access_tables();

// A nullptr or empty text counts as not given in the checks below.
// 0 accepted; -1 no user name; -2 no password; -3 wrong password; -4 no such
// user (also when there are no users). Names and passwords compare exactly;
// a user entered without a password is accepted with any password or none.
int check_user_password(const char* user, const char* password);
// 1 when the group (name without regard to case) lists the user (exactly).
int is_group_member(const char* user, const char* group);
// 1 when the group named exactly `group` has an external password file whose
// [Users] section gives `user` a password equal to `password` without regard
// to case (a value starting with '@' accepts nobody).
int check_external_password(const char* user, const char* password, const char* group);

// Decodes a Basic credentials token into `out`, which has room for `size`
// bytes: at most size-1 decoded bytes are kept, then a terminator. Pad and
// other characters outside the alphabet decode as zero bits, so a padded
// token ends at its first zero byte. Nothing is written when size <= 0.
void decode_base64(const char* text, char* out, int size);
// The plain text of a 34-character scrambled password (a shorter text
// decodes the pairs it has); `out` has room for kPlainPasswordSize bytes.
inline constexpr int kPlainPasswordSize = 17;
void unscramble_password(const char* text, char* out);

// The three tables on the screen log.
void list_aliases();
void list_users();
void list_groups();

}  // namespace qxs
