// Virtual paths to file-system names: separators, aliases, device names,
// double periods, the .htm/.html fall-back and the owners of aliases.
#include "request/path_mapping.h"

#include <string>

#include <gtest/gtest.h>

#include "config/settings.h"
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
    Mapping map(const std::string& virtual_path, int request_type = kRequestGet,
                const char* user = "", const char* password = "") {
        char path[1024];
        copy_text(path, sizeof path, virtual_path.c_str());
        char name[kMappedNameSize];
        copy_text(name, sizeof name, "untouched");
        const Alias* alias = &sentinel_;
        int result = aliasToDosDir(path, name, request_type, "127.0.0.1", &alias, user, password);
        return {result, name, path, alias};
    }
    const Alias* alias_at(int i) const { return &access_tables.aliases[i]; }

    EngineFixture fixture;
    AccessTablesForTest tables;
    Alias sentinel_;
};

TEST_F(PathMappingTest, NamesWithoutOwners) {
    fixture.home.write("html/page.html", "<p>html</p>");
    fixture.home.write("html/old.htm", "<p>htm</p>");
    fixture.home.write("home/john.doe/notes.htm", "notes");
    tables.alias("/pub", "d:\\files\\");
    tables.alias("/pub/data", "e:\\data");
    tables.alias("/home", "c:\\home\\john.doe\\");
    tables.alias("/same", "c:\\first\\");
    tables.alias("/SAME", "c:\\second\\");

    struct Case {
        const char* path;
        int result;
        const char* name;
        const char* collapsed;
    };
    const Case cases[] = {
        {"/a//b///c", kMapped, "c:\\html\\a\\b\\c", "/a/b/c"},
        {"/a/\\/b", kMapped, "c:\\html\\a\\b", "/a/b"},
        {"/pub/data/x.txt", kMapped, "e:\\data\\x.txt", "/pub/data/x.txt"},
        {"/PUB/other", kMapped, "d:\\files\\other", "/PUB/other"},
        {"/pub/x.txt", kMapped, "d:\\files\\x.txt", "/pub/x.txt"},
        {"/pubx.txt", kMapped, "d:\\files\\x.txt", "/pubx.txt"},  // the prefix test is textual
        {"/same/x", kMapped, "c:\\first\\x", "/same/x"},          // equally long: the first stays
        {"/docs/", kMapped, "c:\\html\\docs", "/docs/"},
        {"/", kMapped, "c:\\html", "/"},
        {"", kMapped, "c:\\gopher", ""},  // an empty path is the gopher root, also for HTTP
        {"/page.htm", kMapped, "c:\\html\\page.html", "/page.htm"},
        {"/old.html", kMapped, "c:\\html\\old.htm", "/old.html"},
        {"/none.htm", kMapped, "c:\\html\\none.htm", "/none.htm"},
        // The fall-back reads the document's own extension, not a dotted
        // directory's.
        {"/home/notes.html", kMapped, "c:\\home\\john.doe\\notes.htm", "/home/notes.html"},
        {"/x/../secret.txt", kDoublePeriod, "c:\\html\\x\\..\\secret.txt", "/x/../secret.txt"},
        {"/docs/CON", kDeviceName, "", "/docs/CON"},
        {"/docs/lpt1", kDeviceName, "", "/docs/lpt1"},
        {"/clock$", kDeviceName, "", "/clock$"},
        {"/emmlist", kDeviceName, "", "/emmlist"},
        {"/XMSX", kDeviceName, "", "/XMSX"},
        {"/docs/com5", kMapped, "c:\\html\\docs\\com5", "/docs/com5"},
        {"/docs/lpt12", kMapped, "c:\\html\\docs\\lpt12", "/docs/lpt12"},
        {"/docs/console.txt", kMapped, "c:\\html\\docs\\console.txt", "/docs/console.txt"},
        {"/con/x", kMapped, "c:\\html\\con\\x", "/con/x"},  // only the last component counts
        {"/emm.txt", kMapped, "c:\\html\\emm.txt", "/emm.txt"},
    };
    for (const Case& k : cases) {
        Mapping m = map(k.path);
        EXPECT_EQ(m.result, k.result) << k.path;
        EXPECT_EQ(m.name, k.name) << k.path;
        EXPECT_EQ(m.path, k.collapsed) << k.path;
    }
}

TEST_F(PathMappingTest, AliasOutIsTheLongestMatchOrNone) {
    tables.alias("/pub", "d:\\files\\");
    tables.alias("/pub/data", "e:\\data");
    EXPECT_EQ(map("/pub/data/x").alias, alias_at(1));
    EXPECT_EQ(map("/Pub/x").alias, alias_at(0));
    EXPECT_EQ(map("/other").alias, nullptr);
    EXPECT_EQ(map("/docs/con").alias, nullptr);

    // A refusal still names the file and the alias.
    tables.user("john", "secret");
    tables.alias("/john", "c:\\john\\", "john");
    Mapping refused = map("/john/a.txt");
    EXPECT_EQ(refused.result, kRefused);
    EXPECT_EQ(refused.name, "c:\\john\\a.txt");
    EXPECT_EQ(refused.alias, alias_at(2));
}

TEST_F(PathMappingTest, GopherRequestsUseTheGopherTree) {
    EXPECT_EQ(map("/docs/a.txt", kRequestGopher).name, "c:\\gopher\\docs\\a.txt");
    EXPECT_EQ(map("docs/a.txt", kRequestGet).name, "c:\\html\\docs\\a.txt");
}

TEST_F(PathMappingTest, NamesLongerThan255CharactersAreRefused) {
    // "c:\html\" is 8 characters: 247 more make exactly 255.
    Mapping fits = map("/" + std::string(247, 'a'));
    EXPECT_EQ(fits.result, kMapped);
    EXPECT_EQ(fits.name.size(), 255u);
    Mapping over = map("/" + std::string(248, 'a'));
    EXPECT_EQ(over.result, kNameTooLong);
    EXPECT_EQ(over.name, "");

    // Through an alias the tail of a long request path must not overflow.
    tables.alias("/pub", "d:\\files\\");
    Mapping aliased = map("/pub/" + std::string(1000, 'b'));
    EXPECT_EQ(aliased.result, kNameTooLong);
    EXPECT_EQ(aliased.name, "");
    EXPECT_EQ(aliased.alias, nullptr);
    EXPECT_EQ(map("/pub/" + std::string(246, 'b')).result, kMapped);  // 9 + 246 = 255
    EXPECT_EQ(map("/pub/" + std::string(247, 'b')).result, kNameTooLong);
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

TEST_F(PathMappingTest, OwnersOfAliases) {
    fixture.home.write("partners.ini", "[Users]\r\ncarol=LetMeIn\r\ndave=@locked\r\n");
    tables.user("john", "secret");
    tables.user("mary", nullptr);
    tables.user("bob", "pw");
    tables.group("Staff", {"bob", "mary"});
    tables.group("Partners", {}, "c:\\partners.ini");
    tables.alias("/open", "c:\\open\\", "Anybody");
    tables.alias("/lower", "c:\\lower\\", "anybody");  // only "Anybody" opens an alias
    tables.alias("/john", "c:\\john\\", "john");
    tables.alias("/mary", "c:\\mary\\", "mary");
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
        {"/john/x", "", "", kRefused},
        {"/john/x", "john", "secret", kMapped},
        {"/john/x", "john", "Secret", kRefused},
        {"/john/x", "bob", "pw", kRefused},        // another user with his own password
        {"/mary/x", "mary", "anything", kMapped},  // a user without a password
        {"/staff/x", "bob", "pw", kMapped},        // a member, with his own password
        {"/staff/x", "bob", "wrong", kRefused},
        {"/staff/x", "john", "secret", kRefused},      // not a member
        {"/staff/x", "Bob", "pw", kRefused},           // members compare exactly
        {"/partners/x", "carol", "letmein", kMapped},  // the external file, case ignored
        {"/partners/x", "carol", "nope", kRefused},
        {"/partners/x", "dave", "@locked", kRefused},
        {"/partners/x", "", "", kRefused},
        {"/other/x", "", "", kMapped},  // no alias, no owner
        {"", "", "", kMapped},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(map(k.path, kRequestGet, k.user, k.password).result, k.result)
            << k.path << " " << k.user << ":" << k.password;
    }
}

}  // namespace
}  // namespace qxs::test
