#include "config/access_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/profile.h"
#include "support/capture_shell.h"
#include "support/temp_dir.h"

namespace qxs {
namespace {

class AccessTablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        profile::forget_all();
        allocate_alias_table();
    }
    void TearDown() override { release_access_tables(); }

    // Writes the settings file and loads the three tables from it.
    void load(const std::string& content) {
        std::string path = dir.write("qxserver.ini", content);
        profile::forget_all();
        load_aliases(path.c_str());
        load_users(path.c_str());
        load_groups(path.c_str());
    }

    test::CaptureShell shell;
    test::TempDir dir;
};

// The inverse of the unscrambling rule: a 34-character field for `plain`.
// Odd pairs use a lower-case first character where one fits, so both rules
// are exercised.
std::string scramble(const std::string& plain) {
    std::string bytes(1, static_cast<char>('A' + plain.size()));
    bytes += plain;
    bytes.resize(17, 'x');
    std::string out;
    for (size_t i = 0; i < bytes.size(); ++i) {
        int b = static_cast<unsigned char>(bytes[i]);
        for (bool want_lower : {i % 2 == 1, i % 2 == 0}) {
            for (int c = '!'; c <= '~' && out.size() < 2 * i + 2; ++c) {
                bool lower = c >= 'a' && c <= 'z';
                int k = lower ? (c - 32) + 33 - b : b + 33 - c;
                if (lower == want_lower && k > ' ' && k <= '~') {
                    out += static_cast<char>(c);
                    out += static_cast<char>(k);
                }
            }
        }
    }
    EXPECT_EQ(out.size(), 34u) << plain;
    return out;
}

// ---- aliases ----

TEST_F(AccessTablesTest, AliasesStopAtTheFirstMissingNumber) {
    load("[Aliases]\r\nAlias2=/b/ c:\\b\\\r\n");
    EXPECT_EQ(access_tables.alias_count, 0);
}

TEST_F(AccessTablesTest, AliasFieldsAndDefaults) {
    load(
        "[Aliases]\r\n"
        "Alias1=/docs/ d:\\docs\\\r\n"
        "Alias2=/cgi%2Dbin/  c:\\qxs\\my+scripts\\   admins Local s m d extra\r\n"
        "Alias3=/x/ c:\\x\\ Anybody Anywhere C x D\r\n"
        "Alias4=/tab\there c:\\t\\ Anybody Anywhere n M\r\n");
    ASSERT_EQ(access_tables.alias_count, 4);
    struct Case {
        const char* virtual_path;
        const char* dos_path;
        const char* owner;
        const char* access;
        bool scripts, boards, browsing;
    } cases[] = {
        {"/docs/", "d:\\docs\\", "Anybody", "Anywhere", false, false, false},
        {"/cgi-bin/", "c:\\qxs\\my scripts\\", "admins", "Local", true, true, true},
        {"/x/", "c:\\x\\", "Anybody", "Anywhere", true, false, true},
        {"/tab\there", "c:\\t\\", "Anybody", "Anywhere", false, true, false},
    };
    for (int i = 0; i < 4; ++i) {
        const Alias& a = access_tables.aliases[i];
        const Case& c = cases[i];
        EXPECT_STREQ(a.virtual_path, c.virtual_path) << i;
        EXPECT_STREQ(a.dos_path, c.dos_path) << i;
        EXPECT_STREQ(a.owner, c.owner) << i;
        EXPECT_STREQ(a.access, c.access) << i;
        EXPECT_EQ(a.scripts_allowed, c.scripts) << i;
        EXPECT_EQ(a.boards_allowed, c.boards) << i;
        EXPECT_EQ(a.directory_browsing, c.browsing) << i;
    }
}

TEST_F(AccessTablesTest, AliasWithoutADosPathIsLeftOut) {
    load("[Aliases]\r\nAlias1=/lost/\r\nAlias2=/gone/ %00\r\nAlias3=/kept/ c:\\k\\\r\n");
    EXPECT_EQ(shell.log,
              "*** Error!  Alias1 needs a virtual path and a DOS path!\r\n"
              "*** Error!  Alias2 needs a virtual path and a DOS path!\r\n");
    ASSERT_EQ(access_tables.alias_count, 1);
    EXPECT_STREQ(access_tables.aliases[0].virtual_path, "/kept/");
}

TEST_F(AccessTablesTest, AtMost200Aliases) {
    std::string lines = "[Aliases]\r\n";
    for (int n = 1; n <= 201; ++n) {
        lines += "Alias" + std::to_string(n) + "=/a" + std::to_string(n) + "/ c:\\a\\\r\n";
    }
    load(lines);
    EXPECT_EQ(access_tables.alias_count, kMaxAliases);
    EXPECT_STREQ(access_tables.aliases[199].virtual_path, "/a200/");
}

// ---- users ----

TEST_F(AccessTablesTest, UserPasswordChecks) {
    EXPECT_EQ(check_user_password("johndoe", "Secret"), -4);  // no users at all
    load("[Users]\r\nUser1=JohnDoe Secret extra\r\nUser2=guest\r\n");
    ASSERT_EQ(access_tables.user_count, 2);
    EXPECT_STREQ(access_tables.users[0].name, "johndoe");
    struct Case {
        const char* user;
        const char* password;
        int result;
    } cases[] = {
        {"johndoe", "Secret", 0}, {"JohnDoe", "Secret", -4}, {"johndoe", "secret", -3},
        {"johndoe", "", -2},      {"johndoe", nullptr, -2},  {"", "Secret", -1},
        {nullptr, "Secret", -1},  {"nobody", "x", -4},       {"guest", "anything", 0},
        {"guest", "", 0},         {"guest", nullptr, 0},     {"john", "Secret", -4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check_user_password(c.user, c.password), c.result)
            << (c.user ? c.user : "(none)") << " / " << (c.password ? c.password : "(none)");
    }
}

TEST_F(AccessTablesTest, ScrambledPasswordsRoundTrip) {
    std::string field = scramble("Pa55 w0rd!");
    load("[Options]\r\nscramble_passwords=Yes\r\n[Users]\r\nUser1=bob " + field +
         "\r\nUser2=carol\r\n");
    EXPECT_EQ(shell.log, "");
    ASSERT_EQ(access_tables.user_count, 2);
    EXPECT_STREQ(access_tables.users[0].password, "Pa55 w0rd!");
    EXPECT_EQ(access_tables.users[1].password, nullptr);

    char out[kPlainPasswordSize];
    unscramble_password(scramble("0123456789abcdef").c_str(), out);
    EXPECT_STREQ(out, "0123456789abcdef");
}

TEST_F(AccessTablesTest, ScrambledPasswordsOfTheWrongLengthAreRefused) {
    std::string field = scramble("pw");
    load("[Options]\r\nscramble_passwords=y\r\n[Users]\r\nUser1=a " + field.substr(0, 33) +
         "\r\nUser2=b " + field + "Z\r\nUser3=c " + field + "\r\n");
    EXPECT_EQ(shell.log,
              "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n"
              "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n");
    ASSERT_EQ(access_tables.user_count, 1);
    EXPECT_STREQ(access_tables.users[0].name, "c");
}

TEST_F(AccessTablesTest, NewerScramblingIsRefusedButUsersWithoutPasswordsStay) {
    load("[Options]\r\nscramble_passwords=Y\r\nscramble_version=2.0\r\n[Users]\r\nUser1=a " +
         scramble("pw") + "\r\nUser2=b\r\n");
    EXPECT_EQ(shell.log, "*** Error!  Unable to read passwords scrambled with newer version!\r\n");
    ASSERT_EQ(access_tables.user_count, 1);
    EXPECT_STREQ(access_tables.users[0].name, "b");
}

TEST_F(AccessTablesTest, UnscrambleLengthByte) {
    // A first pair "A!" decodes to 'A' + '!' - 33 = 'A': length 0. "!!" gives
    // a negative length, "Z0" ('i') one beyond 16; each "5!" decodes to '5'.
    std::string fives;
    for (int i = 0; i < 16; ++i) fives += "5!";
    struct Case {
        std::string field;
        std::string plain;
    } cases[] = {
        {"A!" + fives, ""},
        {"!!" + fives, ""},
        {"Z0" + fives, std::string(16, '5')},
        {"C!5!", "5"},  // a short text decodes the pairs it has
    };
    for (const Case& c : cases) {
        char out[kPlainPasswordSize];
        std::memset(out, '#', sizeof out);
        unscramble_password(c.field.c_str(), out);
        EXPECT_EQ(std::string(out), c.plain) << c.field;
    }
}

TEST_F(AccessTablesTest, ScrambledEmptyPasswordIsStoredEmpty) {
    load("[Options]\r\nscramble_passwords=yes\r\n[Users]\r\nUser1=a A!" + std::string(32, 'B') +
         "\r\n");
    ASSERT_EQ(access_tables.user_count, 1);
    ASSERT_NE(access_tables.users[0].password, nullptr);
    EXPECT_STREQ(access_tables.users[0].password, "");
    // An empty stored password is not "no password": nothing opens it.
    EXPECT_EQ(check_user_password("a", "x"), -3);
}

// ---- groups ----

TEST_F(AccessTablesTest, GroupsAndMembership) {
    load("[Groups]\r\nGroup1=admins Alice,BOB\r\nGroup2=STAFF carol, dave\teve ,,\r\n");
    ASSERT_EQ(access_tables.group_count, 2);
    EXPECT_STREQ(access_tables.groups[0].name, "Admins");
    EXPECT_STREQ(access_tables.groups[1].name, "Staff");
    ASSERT_EQ(access_tables.groups[0].member_count, 2);
    EXPECT_STREQ(access_tables.groups[0].members[0], "alice");
    EXPECT_STREQ(access_tables.groups[0].members[1], "bob");
    EXPECT_EQ(access_tables.groups[1].member_count, 3);
    struct Case {
        const char* user;
        const char* group;
        int result;
    } cases[] = {
        {"alice", "admins", 1}, {"bob", "ADMINS", 1},  {"Alice", "admins", 0},
        {"carol", "admins", 0}, {"eve", "Staff", 1},   {"alice", "nobody", 0},
        {nullptr, "admins", 0}, {"alice", nullptr, 0}, {"", "admins", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(is_group_member(c.user, c.group), c.result)
            << (c.user ? c.user : "(none)") << " in " << (c.group ? c.group : "(none)");
    }
}

TEST_F(AccessTablesTest, GroupMembersBeyondTheHundredthAreIgnored) {
    std::string members;
    for (int m = 1; m <= 105; ++m) members += " u" + std::to_string(m);
    load("[Groups]\r\nGroup1=big" + members + "\r\nGroup2=empty\r\n");
    ASSERT_EQ(access_tables.group_count, 2);
    EXPECT_EQ(access_tables.groups[0].member_count, kMaxGroupMembers);
    EXPECT_EQ(is_group_member("u100", "big"), 1);
    EXPECT_EQ(is_group_member("u101", "big"), 0);
    EXPECT_EQ(access_tables.groups[1].member_count, 0);
    EXPECT_EQ(is_group_member("empty", "empty"), 0);
}

TEST_F(AccessTablesTest, ExternalPasswordFile) {
    std::string passwords = dir.write("ext.ini",
                                      "[Users]\r\ncarol=Open Sesame\r\n"
                                      "dave=@disabled\r\nerin=\r\n");
    load("[Groups]\r\nGroup1=admins alice\r\nGroup1.exFile=" + passwords +
         "\r\nGroup2=staff bob\r\n");
    ASSERT_NE(access_tables.groups[0].external_file, nullptr);
    EXPECT_EQ(access_tables.groups[1].external_file, nullptr);
    struct Case {
        const char* user;
        const char* password;
        const char* group;
        int result;
    } cases[] = {
        {"carol", "open sesame", "Admins", 1},  // the password without regard to case
        {"CAROL", "Open Sesame", "Admins", 1},  // keys of the file too
        {"carol", "Open Sesame", "admins", 0},  // the owner must be spelled as stored
        {"carol", "wrong", "Admins", 0},
        {"dave", "@disabled", "Admins", 0},
        {"frank", "@", "Admins", 0},  // missing: the default "@"
        {"erin", "", "Admins", 0},
        {"bob", "x", "Staff", 0},  // no external file
        {"carol", "Open Sesame", "Other", 0},
        {nullptr, "x", "Admins", 0},
        {"carol", nullptr, "Admins", 0},
        {"carol", "Open Sesame", nullptr, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check_external_password(c.user, c.password, c.group), c.result)
            << (c.user ? c.user : "(none)") << " / " << (c.password ? c.password : "(none)")
            << " / " << (c.group ? c.group : "(none)");
    }
}

// ---- credentials ----

TEST_F(AccessTablesTest, DecodeBase64) {
    struct Case {
        const char* token;
        const char* decoded;
    } cases[] = {
        {"YTpiOmM=", "a:b:c"}, {"OnB3", ":pw"}, {"dXNlcjpwYXNz", "user:pass"},
        {"YQ==", "a"},         {"YQ", "a"},     {"", ""},
        {nullptr, ""},         {"!!!!", ""},    {"QUJD\xc3\xa9", "ABC"},
    };
    for (const Case& c : cases) {
        char out[64];
        std::memset(out, '#', sizeof out);
        decode_base64(c.token, out, sizeof out);
        EXPECT_STREQ(out, c.decoded) << (c.token ? c.token : "(none)");
    }
}

TEST_F(AccessTablesTest, DecodeBase64NeverWritesPastTheBuffer) {
    char out[8];
    std::memset(out, '#', sizeof out);
    decode_base64("dXNlcjpwYXNz", out, 5);
    EXPECT_STREQ(out, "user");
    EXPECT_EQ(std::string(out + 5, 3), "###");

    decode_base64("dXNlcjpwYXNz", out, 0);
    EXPECT_STREQ(out, "user");
    decode_base64("dXNlcjpwYXNz", out, 1);
    EXPECT_STREQ(out, "");
}

// ---- printouts ----

TEST_F(AccessTablesTest, PrintsTheTables) {
    load(
        "[Aliases]\r\nAlias1=/docs/ d:\\docs\\ admins\r\n"
        "[Users]\r\nUser1=bob pw\r\nUser2=carol\r\n"
        "[Groups]\r\nGroup1=admins bob carol\r\nGroup2=none\r\n");
    shell.take();
    list_aliases();
    list_users();
    list_groups();
    EXPECT_EQ(shell.log,
              "\r\n----------- Aliases --------------\r\n"
              "    #          Virtual Path -              Dos Path  -   Owner\r\n"
              "   0)                /docs/ -  d:\\docs\\              -  'admins'\r\n"
              "\r\n----------- Users --------------\r\n"
              "    #              Name -  Password\r\n"
              "   0)               bob - 'pw'\r\n"
              "   1)             carol - '(null)'\r\n"
              "\r\n----------- Groups ------------\r\n"
              "    #        Group Name --  Members\r\n"
              "   0)            Admins --  'bob' 'carol'\r\n"
              "   1)              None -- \r\n");
}

}  // namespace
}  // namespace qxs
