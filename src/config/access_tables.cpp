// The access tables and the checks path mapping makes for an alias owner.
#include "config/access_tables.h"

#include <cstring>

#include "config/table_text.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {

AccessTables access_tables;

namespace {

bool given(const char* text) {
    return text != nullptr && text[0] != '\0';
}

}  // namespace

void release_access_tables() {
    config::release_aliases();
    config::release_users();
    config::release_groups();
}

int check_user_password(const char* user, const char* password) {
    if (!given(user)) return -1;
    for (int i = 0; i < access_tables.user_count; ++i) {
        const User& entry = access_tables.users[i];
        if (std::strcmp(entry.name, user) != 0) continue;
        if (entry.password == nullptr) return 0;
        if (!given(password)) return -2;
        return std::strcmp(entry.password, password) == 0 ? 0 : -3;
    }
    return -4;
}

int is_group_member(const char* user, const char* group) {
    if (!given(user) || !given(group)) return 0;
    for (int i = 0; i < access_tables.group_count; ++i) {
        const Group& entry = access_tables.groups[i];
        if (compare_no_case(entry.name, group) != 0) continue;
        for (int m = 0; m < entry.member_count; ++m) {
            if (std::strcmp(entry.members[m], user) == 0) return 1;
        }
        return 0;
    }
    return 0;
}

int check_external_password(const char* user, const char* password, const char* group) {
    if (!given(user) || !given(password) || !given(group)) return 0;
    for (int i = 0; i < access_tables.group_count; ++i) {
        const Group& entry = access_tables.groups[i];
        // Exact on purpose: the owner must be spelled as names are stored.
        if (std::strcmp(entry.name, group) != 0) continue;
        if (entry.external_file == nullptr) return 0;
        char stored[24];
        profile::get_string("Users", user, "@", stored, sizeof stored, entry.external_file);
        if (stored[0] == '@') return 0;
        return compare_no_case(password, stored) == 0 ? 1 : 0;
    }
    return 0;
}

}  // namespace qxs
