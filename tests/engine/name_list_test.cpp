#include "engine/name_list.h"

#include <gtest/gtest.h>

#include <string>

namespace qxs {
namespace {

std::string name_of(const NameEntry* entry) {
    return entry != nullptr ? entry->name : "(none)";
}

// Names of the list, newest first.
std::string names(const NameList& list) {
    std::string all;
    for (const NameEntry* e = list.first(); e != nullptr; e = e->next) {
        all += e->name;
        all += e->next != nullptr ? " " : "";
    }
    return all;
}

TEST(NameList, RepeatedNamesAreNumberedOnTheirFirstEntryWithoutRegardToCase) {
    NameList list;
    EXPECT_TRUE(list.list_is_empty());
    ASSERT_EQ(list.list_add("name", "a", 0, false, false), 1);
    ASSERT_EQ(list.list_add("Name", "b", 0, false, false), 1);
    ASSERT_EQ(list.list_add("x", "c", 0, false, false), 1);
    ASSERT_EQ(list.list_add("NAME", "d", 0, false, false), 1);
    // A name that merely begins with a known one is a new name.
    ASSERT_EQ(list.list_add("names", "e", 0, false, false), 1);
    EXPECT_EQ(names(list), "names NAME_2 x Name_1 name");
    for (const NameEntry* e = list.first(); e != nullptr; e = e->next) {
        EXPECT_EQ(e->duplicates, std::string(e->name) == "name" ? 2 : 0) << e->name;
    }
    list.list_clear();
    EXPECT_TRUE(list.list_is_empty());
    list.list_clear();
    EXPECT_TRUE(list.list_is_empty());
}

TEST(NameList, FindTakesTheLongestPrefixAndTheNewerEntryOnATie) {
    NameList list;
    list.list_add("remote_host", "h", 0, false, false);
    list.list_add("remote_hostname", "n", 0, false, false);
    list.list_add("a", "old", 0, false, false);
    list.list_add("A", "new", 0, true, false);  // stored as "A_1"
    list.list_add("b", "first", 0, false, false);
    list.list_add("ab", "ab", 0, false, false);

    struct Case {
        const char* text;
        const char* found;
    } cases[] = {
        {"remote_hostname", "remote_hostname"},
        {"REMOTE_HOSTNAMES and more", "remote_hostname"},
        {"remote_hostnam", "remote_host"},
        {"remote_hos", "(none)"},
        {"a_1x", "A_1"},
        {"abc", "ab"},
        {"a", "a"},
        {"", "(none)"},
        {"$anything", "$"},
    };
    for (const Case& c : cases) EXPECT_EQ(name_of(list.list_find(c.text)), c.found) << c.text;
    EXPECT_STREQ(list.list_find("$")->value, "$");

    // The bounded look-up: the name must end inside the text, and a NUL in it
    // is a byte like any other that matches no name.
    const char text[] = "remote_hostname";
    EXPECT_EQ(name_of(list.list_find(text, 14)), "remote_host");
    EXPECT_EQ(name_of(list.list_find(text, 10)), "(none)");
    EXPECT_EQ(name_of(list.list_find("$", 0)), "(none)");
    EXPECT_EQ(name_of(list.list_find("ab\0c", 4)), "ab");
}

TEST(NameList, CopiedTextsAreOwnedAndOthersAreTheCallers) {
    NameList list;
    char name[] = "field";
    char value[] = "v1";
    list.list_add(name, value, 7, true, true);
    list.list_add("plain", value, 0, false, false);
    list.list_add("absent", nullptr, 0, true, true);
    name[0] = value[0] = 'X';

    const NameEntry* copied = list.list_find("field");
    ASSERT_NE(copied, nullptr);
    EXPECT_STREQ(copied->value, "v1");
    EXPECT_EQ(copied->tag, 7);
    EXPECT_TRUE(copied->owns_name && copied->owns_value);
    const NameEntry* plain = list.list_find("plain");
    EXPECT_EQ(plain->value, value);
    EXPECT_FALSE(plain->owns_name || plain->owns_value);
    const NameEntry* absent = list.list_find("absent");
    EXPECT_EQ(absent->value, nullptr);
    EXPECT_FALSE(absent->owns_value);
    // A numbered name is the entry's own even when its name was not copied.
    list.list_add("plain", "2", 0, false, false);
    EXPECT_TRUE(list.list_find("plain_1")->owns_name);
}

TEST(NameList, GrowsPastItsPoolAndIsReusableAfterClearing) {
    NameList list;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 100; ++i) {
            std::string n = "v" + std::to_string(i);
            ASSERT_EQ(list.list_add(n.c_str(), n.c_str(), i, true, true), 1);
        }
        ASSERT_EQ(list.list_add("v7", "again", 0, false, false), 1);
        EXPECT_STREQ(list.list_find("v7_1")->value, "again");
        EXPECT_EQ(list.list_find("v99")->tag, 99);
        EXPECT_STREQ(list.list_find("v0")->value, "v0");
        list.list_clear();
        EXPECT_TRUE(list.list_is_empty());
        EXPECT_EQ(list.list_find("v1"), nullptr);
    }
}

}  // namespace
}  // namespace qxs
