#include "request/path_mapping.h"

#include <string>

#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

struct Mapping {
    int result;
    std::string name;
    std::string path;  // the virtual path after the call
    const Alias* alias;
};

class PathMappingTest : public ::testing::Test {
protected:
    Mapping map(const std::string& virtual_path, int type = kRequestGet, const char* user = "",
                const char* password = "") {
        char path[1024];
        copy_text(path, sizeof path, virtual_path.c_str());
        char name[kMappedNameSize] = "untouched";
        const Alias* alias = &sentinel_;
        int result = aliasToDosDir(path, name, type, "127.0.0.1", &alias, user, password);
        return {result, name, path, alias};
    }

    EngineFixture fixture;
    Alias sentinel_;
};

TEST_F(PathMappingTest, Names) {
    fixture.home.write("html/page.html", "<p>html</p>");
    fixture.home.write("html/old.htm", "<p>htm</p>");
    fixture.home.write("home/john.doe/notes.htm", "notes");
    fixture.load_tables(
        "[Aliases]\r\nAlias1=/pub d:\\files\\\r\nAlias2=/pub/data e:\\data\r\n"
        "Alias3=/home c:\\home\\john.doe\\\r\nAlias4=/same c:\\first\\\r\nAlias5=/SAME "
        "c:\\second\\\r\n");

    const std::string b246(246, 'b');
    struct Case {
        std::string path;
        int result;
        std::string name;
    };
    const Case cases[] = {
        {"/pub/data/x.txt", kMapped, "e:\\data\\x.txt"},
        {"/pubx.txt", kMapped, "d:\\files\\x.txt"},  // the prefix test is textual
        {"/same/x", kMapped, "c:\\first\\x"},        // equally long: the first stays
        {"/docs/", kMapped, "c:\\html\\docs"},
        {"", kMapped, "c:\\gopher"},  // an empty path is the gopher root, also for HTTP
        {"/page.htm", kMapped, "c:\\html\\page.html"},
        {"/old.html", kMapped, "c:\\html\\old.htm"},
        {"/none.htm", kMapped, "c:\\html\\none.htm"},
        // The fall-back reads the document's own extension, not a dotted directory's.
        {"/home/notes.html", kMapped, "c:\\home\\john.doe\\notes.htm"},
        {"/x/../secret.txt", kDoublePeriod, "c:\\html\\x\\..\\secret.txt"},
        {"/docs/CON", kDeviceName, ""},
        {"/clock$", kDeviceName, ""},
        {"/con/x", kMapped, "c:\\html\\con\\x"},  // only the last component counts
        {"/docs/*.txt", kDeviceName, ""},         // no file name holds a wildcard
        {"/pu?/x.txt", kDeviceName, ""},
        {"/pub/" + b246, kMapped, "d:\\files\\" + b246},  // 255 characters
        {"/pub/" + b246 + "b", kNameTooLong, ""},
        {"/pub/" + std::string(1000, 'b'), kNameTooLong, ""},
    };
    for (const Case& k : cases) {
        Mapping m = map(k.path);
        EXPECT_EQ(m.result, k.result) << k.path;
        EXPECT_EQ(m.name, k.name) << k.path;
        EXPECT_EQ(m.path, k.path) << k.path;
        if (k.result == kNameTooLong) {
            EXPECT_EQ(m.alias, nullptr) << k.path;
        }
    }
    // Runs of separators, either kind, collapse in the virtual path too.
    Mapping m = map("/a//b/\\/c");
    EXPECT_EQ(m.name, "c:\\html\\a\\b\\c");
    EXPECT_EQ(m.path, "/a/b/c");
    // "." pieces name the directory they stand in.
    m = map("/./a/.\\b/.");
    EXPECT_EQ(m.name, "c:\\html\\a\\b");
    EXPECT_EQ(m.path, "/a/b/");
    EXPECT_EQ(map("/docs/a.txt", kRequestGopher).name, "c:\\gopher\\docs\\a.txt");
    EXPECT_EQ(map("docs/a.txt").name, "c:\\html\\docs\\a.txt");
    EXPECT_EQ(map("/pub/data/x").alias, &access_tables.aliases[1]);  // the longest match
    EXPECT_EQ(map("/Pub/x").alias, &access_tables.aliases[0]);
    EXPECT_EQ(map("/other").alias, nullptr);
    EXPECT_EQ(map("/docs/con").alias, nullptr);
}

// Password and membership rules have their own tests; these check which rule an owner picks.
TEST_F(PathMappingTest, OwnersOfAliases) {
    fixture.home.write("partners.ini", "[Users]\r\ncarol=LetMeIn\r\n");
    // Only "Anybody" opens an alias, not "anybody".
    fixture.load_tables(
        "[Users]\r\nUser1=john secret\r\nUser2=bob pw\r\n"
        "[Groups]\r\nGroup1=Staff bob\r\nGroup2=Partners\r\nGroup2.exFile=c:\\partners.ini\r\n"
        "[Aliases]\r\nAlias1=/open c:\\open\\ Anybody\r\nAlias2=/lower c:\\lower\\ anybody\r\n"
        "Alias3=/john c:\\john\\ john\r\nAlias4=/staff c:\\staff\\ Staff\r\n"
        "Alias5=/partners c:\\partners\\ Partners\r\n");

    struct Case {
        const char* path;
        const char* user;
        const char* password;
        int result;
    };
    const Case cases[] = {
        {"/open/x", "", "", kMapped},
        {"/lower/x", "", "", kRefused},
        {"/john/x", "john", "secret", kMapped},
        {"/john/x", "bob", "pw", kRefused},            // another user with his own password
        {"/staff/x", "bob", "pw", kMapped},            // a member, with his own password
        {"/staff/x", "john", "secret", kRefused},      // not a member
        {"/partners/x", "carol", "letmein", kMapped},  // the external file
        // However the path is spelt, the alias and its owner are found.
        {"/./john/x", "", "", kRefused},
        {"/\\john/x", "", "", kRefused},
        {"/.\\JOHN\\x", "", "", kRefused},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(map(k.path, kRequestGet, k.user, k.password).result, k.result)
            << k.path << " " << k.user << ":" << k.password;
    }
    // A refusal still names the file and the alias.
    Mapping refused = map("/john/a.txt");
    EXPECT_EQ(refused.result, kRefused);
    EXPECT_EQ(refused.name, "c:\\john\\a.txt");
    EXPECT_EQ(refused.alias, &access_tables.aliases[2]);
}

}  // namespace
}  // namespace qxs::test
