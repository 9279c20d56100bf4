#include "config/settings.h"

#include <gtest/gtest.h>

#include <string>

#include "config/access_tables.h"
#include "config/extension_table.h"
#include "platform/dos_files.h"
#include "platform/profile.h"
#include "support/capture_shell.h"
#include "support/temp_dir.h"

namespace qxs {
namespace {

// The settings file is the bare "qxserver.ini" in a temporary server home.
class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        old_home = dos::home();
        dos::set_home(home.path());
        set_settings_file("qxserver.ini");
        profile::forget_all();
    }
    void TearDown() override {
        release_settings();
        extension_table.clear();
        dos::set_home(old_home);
    }

    void write_ini(const std::string& content) {
        home.write("qxserver.ini", content);
        profile::forget_all();
    }
    void load(const std::string& content) {
        write_ini(content);
        load_settings();
    }

    test::CaptureShell shell;
    test::TempDir home;
    std::string old_home;
};

// The tables load after the settings, so scramble_passwords applies to the users.
TEST_F(SettingsTest, NumbersTakeTheirLeadingDigitsAndDirectoriesEndInABackslash) {
    load(
        "[Options]\r\nhttpport=http\r\ngopherport=7070x\r\nbuffsize=\r\ngopherdir=\r\nlogdir=\r\n"
        "scramble_passwords=yes\r\nip=192.168.100.200:8080\r\nwebdir=" +
        std::string(300, 'd') +
        "\r\n[Aliases]\r\nAlias1=/only-a-url/\r\n[Users]\r\nUser1=bob short\r\n");
    EXPECT_EQ(shell.log,
              "Reading ini file...\r\n"
              "*** Error!  Alias1 needs a virtual path and a DOS path!\r\n"
              "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n");
    EXPECT_EQ(settings.httpport, 0);
    EXPECT_EQ(settings.gopherport, 7070);
    EXPECT_EQ(settings.buffsize, 8192);  // an empty value: the default
    EXPECT_STREQ(settings.ip, "192.168.100.200");
    // The document directories end in a backslash, with room for it after 253
    // characters; the log directory stays as read.
    EXPECT_EQ(std::string(settings.webdir), std::string(253, 'd') + "\\");
    EXPECT_STREQ(settings.gopherdir, "\\");
    EXPECT_STREQ(settings.logdir, "");
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
    EXPECT_EQ(shell.log,
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

}  // namespace
}  // namespace qxs
