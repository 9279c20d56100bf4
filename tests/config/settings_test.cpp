#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/engine_fixture.h"

namespace qxs {
namespace {

// The settings file is the bare "qxserver.ini" in a temporary server home.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { set_settings_file("qxserver.ini"); }
    void TearDown() override { release_settings(); }

    void write_ini(const std::string& content) {
        home.write("qxserver.ini", content);
        profile::forget_all();
    }
    void load(const std::string& content) {
        write_ini(content);
        load_settings();
    }

    test::EngineFixture fx;
    test::TempDir& home = fx.home;
    std::string& log = fx.shell.log;
};

// The tables load after the settings, so scramble_passwords applies to the users.
TEST_F(SettingsTest, NumbersTakeTheirLeadingDigitsAndDirectoriesEndInABackslash) {
    load(
        "[Options]\r\nhttpport=http\r\ngopherport=7070x\r\nbuffsize=\r\ngopherdir=\r\nlogdir=\r\n"
        "scramble_passwords=yes\r\nip=192.168.100.200:8080\r\nwebdir=" +
        std::string(300, 'd') +
        "\r\n[Aliases]\r\nAlias1=/only-a-url/\r\n[Users]\r\nUser1=bob short\r\n");
    EXPECT_EQ(log,
              "Reading ini file...\r\n"
              "*** Error!  httpport=0 is out of range (1 to 65535); using 80\r\n"
              "*** Error!  Alias1 needs a virtual path and a DOS path!\r\n"
              "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n");
    EXPECT_EQ(settings.httpport, 80);  // letters read as 0, which no port is
    EXPECT_EQ(settings.gopherport, 7070);
    EXPECT_EQ(settings.buffsize, 8192);  // an empty value: the default
    EXPECT_STREQ(settings.ip, "192.168.100.200");
    // The document directories end in a backslash, with room for it after 253
    // characters; the log directory stays as read.
    EXPECT_EQ(std::string(settings.webdir), std::string(253, 'd') + "\\");
    EXPECT_STREQ(settings.gopherdir, "\\");
    EXPECT_STREQ(settings.logdir, "");
}

// A number its use does not allow is reported with the value used instead:
// the default, or the nearest bound of a size.
TEST_F(SettingsTest, NumbersOutOfRangeAreReportedAndReplaced) {
    load(
        "[Options]\r\ngopherport=99999\r\nhttpport=-1\r\npollevery=-5\r\nbuffsize=3\r\n"
        "throttle=5000\r\nmaxretry=-2\r\n[CGI]\r\nTimeout=0\r\n");
    EXPECT_EQ(settings.gopherport, 70);
    EXPECT_EQ(settings.httpport, 80);
    EXPECT_EQ(settings.pollevery, 200);
    EXPECT_EQ(settings.buffsize, 8);
    EXPECT_EQ(settings.throttle, 1000);
    EXPECT_EQ(settings.maxretry, 1000);
    EXPECT_EQ(settings.Timeout, 180);
    EXPECT_NE(log.find("*** Error!  pollevery=-5 is out of range (1 to 2147483647); using "
                       "200\r\n"),
              std::string::npos)
        << log;
}

TEST_F(SettingsTest, ReloadReplacesEveryTableWhole) {
    write_ini(
        "[Options]\r\nsound=1\r\ngreedy=0\r\nminimize=2\r\n"
        "[Extensions]\r\nfolder_icon=/i/f.gif\r\nmap1=htm h text/html\r\nmap2=* 9\r\n"
        "[Aliases]\r\nAlias1=/a/ c:\\a\\\r\nAlias2=/b/ c:\\b\\ admins\r\n"
        "[Users]\r\nUser1=bob pw\r\nUser2=carol\r\n"
        "[Groups]\r\nGroup1=admins bob,carol\r\n");
    load_settings();
    reload_settings();
    reload_settings();
    int extensions = 0;
    for (const KeyedRecord* r = extension_table.first(); r != nullptr; r = r->next) ++extensions;
    EXPECT_EQ(extensions, 2);
    EXPECT_EQ(access_tables.alias_count, 2);
    EXPECT_EQ(access_tables.user_count, 2);
    EXPECT_EQ(log,
              "Reading ini file...\r\n"
              "Freeing old INI information...\r\nReading ini file...\r\n"
              "Freeing old INI information...\r\nReading ini file...\r\n");

    // A reload sees the file as it is now: keys it lacks have their defaults
    // again, and an empty folder_icon is none.
    write_ini("[Options]\r\n[Extensions]\r\nfolder_icon=\r\n[Users]\r\nUser1=dave\r\n");
    reload_settings();
    EXPECT_EQ(settings.sound, Settings{}.sound);
    EXPECT_EQ(settings.minimize, Settings{}.minimize);
    EXPECT_EQ(access_tables.alias_count, 0);
    EXPECT_EQ(access_tables.user_count, 1);
    EXPECT_TRUE(extension_table.empty());
    EXPECT_EQ(settings.folder_icon, nullptr);
}

// The n-th extension record (from 0) in file order.
const KeyedRecord* record(int n) {
    const KeyedRecord* r = extension_table.first();
    while (r != nullptr && n-- > 0) r = r->next;
    return r;
}

// A line with only a key is skipped; the numbering stops at the first empty key.
TEST_F(SettingsTest, ExtensionLinesLoadIntoFields) {
    load(
        "[Extensions]\r\nmap1=htm  0   text/html /icons/t.gif\r\nmap2=gif\r\nmap3=bin 9\r\n"
        "map4=all 1 2 3 4 5 6 7 8 9 10 11 12\r\nmap5=\r\nmap6=jpg I image/jpeg\r\n");
    auto fields = [](const KeyedRecord* r) {
        std::string text =
            std::string(r->key) + "|" + r->value + "|" + std::to_string(r->field_count);
        for (int i = 0; i <= r->field_count && r->fields[i] != nullptr; ++i)
            text += "|" + std::string(r->fields[i]);
        return text;
    };
    ASSERT_NE(record(2), nullptr);
    EXPECT_EQ(fields(record(0)), "htm| 0   text/html /icons/t.gif|3|0|text/html|/icons/t.gif");
    EXPECT_EQ(fields(record(1)), "bin|9|0|9");  // only field 0
    EXPECT_EQ(record(2)->field_count, KeyedRecord::kMaxFields);
    EXPECT_EQ(record(3), nullptr);
}

TEST_F(SettingsTest, ExtensionsAreFoundByTheTextAfterTheFirstDot) {
    load(
        "[Extensions]\r\nmap1=htm h text/html /i/htm.gif\r\nmap2=HTM 0 text/plain\r\n"
        "map3=tar.gz 9 application/x-gtar\r\nmap4=* 9 application/octet-stream /i/bin.gif\r\n"
        "map5=| 1 text/html /i/dir.gif\r\nmap6=txt 0\r\n");
    struct Case {
        const char *name, *mime;
        char gopher;
        const char* icon;
    } cases[] = {
        {"INDEX.HTM", "text/html", 'h', "/i/htm.gif"},  // earlier line wins, any case
        {"archive.tar.gz", "application/x-gtar", '9', nullptr},
        {"dir.d\\page.htm", "application/octet-stream", '9', "/i/bin.gif"},
        {"README", "application/octet-stream", '9', "/i/bin.gif"},
        {"", "text/html", '1', "/i/dir.gif"},
        {"notes.txt", nullptr, '0', nullptr},  // a gopher type but no MIME type or icon
    };
    auto text = [](const char* s) { return std::string(s != nullptr ? s : "(none)"); };
    for (const Case& c : cases) {
        EXPECT_EQ(text(mime_type_for(c.name)), text(c.mime)) << text(c.name);
        EXPECT_EQ(gopher_type_for(c.name), c.gopher) << text(c.name);
        EXPECT_EQ(text(icon_for(c.name)), text(c.icon)) << text(c.name);
    }

    // A reload replaces the table and its default records.
    load("[Extensions]\r\nmap1=gif g image/gif\r\n");
    EXPECT_EQ(mime_type_for("a.htm"), nullptr);
    EXPECT_EQ(icon_for(""), nullptr);
    EXPECT_EQ(gopher_type_for("README"), '0');
}

}  // namespace
}  // namespace qxs
