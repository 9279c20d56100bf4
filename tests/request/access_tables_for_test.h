// Aliases, users and groups owned by a test, in place of the loaded tables
// for the lifetime of the object.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "config/access_tables.h"

namespace qxs::test {

class AccessTablesForTest {
public:
    AccessTablesForTest() : saved_(access_tables) {
        access_tables.aliases = aliases_;
        access_tables.alias_count = access_tables.user_count = access_tables.group_count = 0;
    }
    ~AccessTablesForTest() { access_tables = saved_; }
    AccessTablesForTest(const AccessTablesForTest&) = delete;
    AccessTablesForTest& operator=(const AccessTablesForTest&) = delete;

    Alias& alias(const char* virtual_path, const char* dos_path, const char* owner = "Anybody") {
        Alias& a = aliases_[access_tables.alias_count++];
        a = Alias{};
        a.virtual_path = keep(virtual_path);
        a.dos_path = keep(dos_path);
        a.owner = keep(owner);
        a.access = keep("Anywhere");
        return a;
    }
    void user(const char* name, const char* password) {
        User& u = access_tables.users[access_tables.user_count++];
        u.name = keep(name);
        u.password = keep(password);
    }
    void group(const char* name, std::vector<const char*> members, const char* external = nullptr) {
        Group& g = access_tables.groups[access_tables.group_count++];
        g = Group{};
        g.name = keep(name);
        for (const char* m : members) g.members[g.member_count++] = keep(m);
        g.external_file = external == nullptr ? nullptr : keep(external);
    }

private:
    // A deque never moves its elements, so the texts stay where the tables point.
    char* keep(const char* text) { return strings_.emplace_back(text).data(); }

    AccessTables saved_;
    Alias aliases_[16];
    std::deque<std::string> strings_;
};

}  // namespace qxs::test
