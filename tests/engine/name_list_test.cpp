#include "engine/name_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace qxs {
namespace {

TEST(NameList, RepeatedNamesAreNumberedWithoutRegardToCase) {
    NameList list;
    for (const char* name : {"name", "Name", "x", "NAME", "names"}) {
        ASSERT_EQ(list.list_add(name, "v", 0, false, false), 1);
    }
    std::string names;
    for (const NameEntry* e = list.first(); e != nullptr; e = e->next) {
        names += std::string(e->name) + ":" + std::to_string(e->duplicates) + " ";
    }
    EXPECT_EQ(names, "names:0 NAME_2:0 x:0 Name_1:0 name:2 ");
}

TEST(NameList, FindTakesTheLongestPrefix) {
    NameList list;
    for (const char* name : {"remote_host", "remote_hostname", "a", "A"}) {
        list.list_add(name, name, 0, true, false);
    }
    const auto found = [](const NameEntry* e) { return e != nullptr ? e->name : "(none)"; };
    const std::pair<const char*, std::string> cases[] = {
        {"REMOTE_HOSTNAMES and more", "remote_hostname"},
        {"remote_hostnam", "remote_host"},
        {"remote_hos", "(none)"},
        {"a_1x", "A_1"},
        {"", "(none)"},
        {"$anything", "$"},
    };
    for (const auto& [text, name] : cases) EXPECT_EQ(found(list.list_find(text)), name) << text;
    // The bounded look-up: the name must end inside the text, and a NUL in it
    // is a byte like any other that matches no name.
    EXPECT_EQ(found(list.list_find("remote_hostname", 14)), std::string("remote_host"));
    EXPECT_EQ(found(list.list_find("$", 0)), std::string("(none)"));
    EXPECT_EQ(found(list.list_find("a_\0001", 4)), std::string("a"));
}

TEST(NameList, CopiedTextsAreOwnedAndOthersAreTheCallers) {
    NameList list;
    char name[] = "field";
    char value[] = "v1";
    list.list_add(name, value, 0, true, true);
    list.list_add("plain", value, 0, false, false);
    list.list_add("absent", nullptr, 0, true, true);
    name[0] = value[0] = 'X';
    EXPECT_STREQ(list.list_find("field")->value, "v1");
    EXPECT_EQ(list.list_find("plain")->value, value);
    EXPECT_EQ(list.list_find("absent")->value, nullptr);
    // A numbered name is the entry's own even when its name was not copied.
    list.list_add("plain", "2", 0, false, false);
    EXPECT_TRUE(list.list_find("plain_1")->owns_name);
}

// Past the entries kept inside the list, and again after clearing.
TEST(NameList, GrowsPastItsPoolAndIsReusableAfterClearing) {
    NameList list;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 100; ++i) list.list_add(std::to_string(i).c_str(), "v", i, true, false);
        EXPECT_STREQ(list.list_find("99")->name, "99");
        list.list_clear();
        EXPECT_TRUE(list.list_is_empty());
    }
}

}  // namespace
}  // namespace qxs
