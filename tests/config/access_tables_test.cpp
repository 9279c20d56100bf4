#include "config/access_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/engine_fixture.h"

namespace qxs {
namespace {

const char kBadLength[] = "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n";

class AccessTablesTest : public ::testing::Test {
protected:
    void load(const std::string& content) { fx.load_tables(content); }
    test::EngineFixture fx;
    std::string& log = fx.shell.log;
};

// A 34-character scrambled field for `plain`, using both unscrambling rules:
// a lower-case first character ("z" + k gives 123 - k) and any other ("!" + k gives k).
std::string scramble(const std::string& plain) {
    std::string bytes = static_cast<char>('A' + plain.size()) + plain;
    bytes.resize(17, 'x');
    std::string out;
    for (char b : bytes)
        out += b <= 'Z' ? std::string{'z', static_cast<char>(123 - b)} : std::string{'!', b};
    return out;
}

TEST_F(AccessTablesTest, AliasFieldsAndDefaults) {
    load(
        "[Aliases]\r\n"
        "Alias1=/docs/ d:\\docs\\\r\n"
        "Alias2=/cgi%2Dbin/  c:\\qxs\\my+scripts\\   admins Local s m d extra\r\n"
        "Alias3=/x/ c:\\x\\ Anybody Anywhere C x D\r\n"
        "Alias4=/lost/\r\nAlias5=/gone/ %00\r\n"
        "Alias6=/tab\there c:\\t\\ Anybody Anywhere n M\r\n"
        "Alias8=/after/a/gap c:\\g\\\r\n");
    EXPECT_EQ(log,
              "*** Error!  Alias4 needs a virtual path and a DOS path!\r\n"
              "*** Error!  Alias5 needs a virtual path and a DOS path!\r\n");
    // Virtual path, DOS path, owner, access, then scripts, boards and browsing allowed.
    const char* const expected[] = {
        "/docs/|d:\\docs\\|Anybody|Anywhere|---",
        "/cgi-bin/|c:\\qxs\\my scripts\\|admins|Local|sbd",
        "/x/|c:\\x\\|Anybody|Anywhere|s-d",
        "/tab\there|c:\\t\\|Anybody|Anywhere|-b-",
    };
    ASSERT_EQ(access_tables.alias_count, 4);
    for (int i = 0; i < 4; ++i) {
        const Alias& a = access_tables.aliases[i];
        EXPECT_EQ(std::string(a.virtual_path) + "|" + a.dos_path + "|" + a.owner + "|" + a.access +
                      "|" + (a.scripts_allowed ? "s" : "-") + (a.boards_allowed ? "b" : "-") +
                      (a.directory_browsing ? "d" : "-"),
                  expected[i]);
    }
}

TEST_F(AccessTablesTest, AtMost200Aliases) {
    std::string lines = "[Aliases]\r\n";
    for (int n = 1; n <= 201; ++n)
        lines += "Alias" + std::to_string(n) + "=/a" + std::to_string(n) + "/ c:\\a\\\r\n";
    load(lines);
    EXPECT_EQ(access_tables.alias_count, kMaxAliases);
    EXPECT_STREQ(access_tables.aliases[199].virtual_path, "/a200/");
}

TEST_F(AccessTablesTest, UserPasswordChecks) {
    EXPECT_EQ(check_user_password("johndoe", "Secret"), -4);  // no users at all
    load("[Users]\r\nUser1=JohnDoe Secret extra\r\nUser2=guest\r\n");
    struct Case {
        const char *user, *password;
        int result;
    } cases[] = {
        {"johndoe", "Secret", 0}, {"JohnDoe", "Secret", -4}, {"johndoe", "secret", -3},
        {"johndoe", nullptr, -2}, {"", "Secret", -1},        {"john", "Secret", -4},
        {"guest", "anything", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(check_user_password(c.user, c.password), c.result)
            << (c.user ? c.user : "(none)") << " / " << (c.password ? c.password : "(none)");
    }
}

TEST_F(AccessTablesTest, ScrambledPasswords) {
    std::string field = scramble("Pa55 w0rd!");
    load("[Options]\r\nscramble_passwords=Yes\r\n[Users]\r\nUser1=bob " + field +
         "\r\nUser2=carol\r\nUser3=a " + field.substr(0, 33) + "\r\nUser4=b " + field +
         "Z\r\nUser5=e A!" + std::string(32, 'B') + "\r\n");
    EXPECT_EQ(fx.shell.take(), std::string(kBadLength) + kBadLength);
    ASSERT_EQ(access_tables.user_count, 3);
    EXPECT_STREQ(access_tables.users[0].password, "Pa55 w0rd!");
    EXPECT_EQ(access_tables.users[1].password, nullptr);
    // An empty stored password is not "no password": nothing opens it.
    EXPECT_STREQ(access_tables.users[2].password, "");
    EXPECT_EQ(check_user_password("e", "x"), -3);
}

TEST_F(AccessTablesTest, UnscrambleKeepsTheLengthInBounds) {
    // "A!" decodes to length 0, "!!" to a negative length and "Z0" to one
    // beyond 16; each "5!" decodes to '5'.
    std::string fives;
    for (int i = 0; i < 16; ++i) fives += "5!";
    struct Case {
        std::string field, plain;
    } cases[] = {
        {"A!" + fives, ""},
        {"!!" + fives, ""},
        {"Z0" + fives, std::string(16, '5')},
        {"C!5!", "5"},  // a short text decodes the pairs it has
        {scramble("0123456789abcdef"), "0123456789abcdef"},
    };
    for (const Case& c : cases) {
        char out[kPlainPasswordSize];
        std::memset(out, '#', sizeof out);
        unscramble_password(c.field.c_str(), out);
        EXPECT_EQ(std::string(out), c.plain) << c.field;
    }
}

TEST_F(AccessTablesTest, GroupsAndMembership) {
    std::string members;
    for (int m = 1; m <= 105; ++m) members += " u" + std::to_string(m);
    load(
        "[Groups]\r\nGroup1=admins Alice,BOB\r\nGroup2=STAFF carol, dave\teve ,,\r\n"
        "Group3=big" +
        members + "\r\n");
    ASSERT_EQ(access_tables.group_count, 3);
    EXPECT_EQ(access_tables.groups[1].member_count, 3);
    EXPECT_EQ(access_tables.groups[2].member_count, kMaxGroupMembers);
    const char* const in[][2] = {
        {"alice", "admins"}, {"bob", "ADMINS"}, {"eve", "Staff"}, {"u100", "big"}};
    const char* const others[][2] = {
        {"Alice", "admins"}, {"carol", "admins"}, {"alice", "nobody"}, {"u101", "big"}};
    for (const auto& m : in) EXPECT_EQ(is_group_member(m[0], m[1]), 1) << m[0];
    for (const auto& o : others) EXPECT_EQ(is_group_member(o[0], o[1]), 0) << o[0] << " " << o[1];
}

TEST_F(AccessTablesTest, ExternalPasswordFile) {
    std::string passwords =
        fx.home.write("ext.ini", "[Users]\r\ncarol=Open Sesame\r\ndave=@disabled\r\nerin=\r\n");
    load("[Groups]\r\nGroup1=admins alice\r\nGroup1.exFile=" + passwords +
         "\r\nGroup2=staff bob\r\n");
    // User and password match without regard to case, the group as stored; a missing
    // user reads as "@", which opens nothing; a group without a file opens nothing.
    EXPECT_EQ(check_external_password("CAROL", "open sesame", "Admins"), 1);
    const char* const refused[][3] = {{"carol", "Open Sesame", "admins"},
                                      {"carol", "wrong", "Admins"},
                                      {"dave", "@disabled", "Admins"},
                                      {"frank", "@", "Admins"},
                                      {"erin", "", "Admins"},
                                      {"bob", "x", "Staff"}};
    for (const auto& r : refused)
        EXPECT_EQ(check_external_password(r[0], r[1], r[2]), 0) << r[0] << " " << r[2];
}

// The output is cut to its size, never past it.
TEST_F(AccessTablesTest, DecodeBase64) {
    const char* const cases[][2] = {
        {"YTpiOmM=", "a:b:c"}, {"YQ", "a"}, {"!!!!", ""}, {"QUJD\xc3\xa9", "ABC"}};
    char out[8];
    for (const auto& c : cases) {
        decode_base64(c[0], out, sizeof out);
        EXPECT_STREQ(out, c[1]) << c[0];
    }
    std::memset(out, '#', sizeof out);
    decode_base64("dXNlcjpwYXNz", out, 5);
    EXPECT_EQ(std::string(out, 8), std::string("user\0###", 8));
    decode_base64("dXNlcjpwYXNz", out, 1);
    EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace qxs
