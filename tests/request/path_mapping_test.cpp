#include "request/path_mapping.h"

#include <string>

#include <gtest/gtest.h>

#include "engine/connection.h"
#include "platform/strings.h"
#include "request/access_tables_for_test.h"
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
    AccessTablesForTest tables;
    Alias sentinel_;
};

TEST_F(PathMappingTest, Names) {
    fixture.home.write("html/page.html", "<p>html</p>");
    fixture.home.write("html/old.htm", "<p>htm</p>");
    fixture.home.write("home/john.doe/notes.htm", "notes");
    tables.alias("/pub", "d:\\files\\");
    tables.alias("/pub/data", "e:\\data");
    tables.alias("/home", "c:\\home\\john.doe\\");
    tables.alias("/same", "c:\\first\\");
    tables.alias("/SAME", "c:\\second\\");

    const std::string a247(247, 'a'), b246(246, 'b');
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
        {"/docs/com5", kMapped, "c:\\html\\docs\\com5"},
        {"/con/x", kMapped, "c:\\html\\con\\x"},  // only the last component counts
        {"/docs/*.txt", kDeviceName, ""},         // no file name holds a wildcard
        {"/pu?/x.txt", kDeviceName, ""},
        {"/" + a247, kMapped, "c:\\html\\" + a247},  // 255 characters
        {"/" + a247 + "a", kNameTooLong, ""},
        {"/pub/" + b246, kMapped, "d:\\files\\" + b246},
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

TEST_F(PathMappingTest, MissingArgumentsAreLogged) {
    char path[] = "/x";
    char name[kMappedNameSize];
    const Alias* alias = nullptr;
    EXPECT_EQ(aliasToDosDir(path, nullptr, kRequestGet, "", &alias, "", ""), kHostNotAllowed);
    EXPECT_EQ(aliasToDosDir(nullptr, name, kRequestGet, "", &alias, "", ""), kNoVirtualPath);
    EXPECT_EQ(fixture.shell.take(),
              "\r\n*Error in aliasToDosDir() - NULL dosnamebuff\r\n"
              "\r\n*Error in aliasToDosDir() - NULL fake\r\n");
}

// Password and membership rules have their own tests; these check which rule an owner picks.
TEST_F(PathMappingTest, OwnersOfAliases) {
    fixture.home.write("partners.ini", "[Users]\r\ncarol=LetMeIn\r\n");
    tables.user("john", "secret");
    tables.user("bob", "pw");
    tables.group("Staff", {"bob"});
    tables.group("Partners", {}, "c:\\partners.ini");
    tables.alias("/open", "c:\\open\\", "Anybody");
    tables.alias("/lower", "c:\\lower\\", "anybody");  // only "Anybody" opens an alias
    tables.alias("/john", "c:\\john\\", "john");
    tables.alias("/staff", "c:\\staff\\", "Staff");
    tables.alias("/partners", "c:\\partners\\", "Partners");

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
