#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <map>
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

// clang-format off
// Whether a loaded field equals the record's own initial value.
bool same(int loaded, int initial) { return loaded == initial; }
bool same(const char* loaded, const char* initial) { return std::strcmp(loaded, initial) == 0; }

// The keys of each section, named as their fields.
#define OPTIONS(X)                                                                              \
    X(gopherport) X(httpport) X(buffsize) X(maxretry) X(pollevery) X(throttle) X(sound)         \
    X(greedy) X(minimize) X(view_connects) X(view_commands) X(view_files) X(view_closing)       \
    X(debug1) X(debug2) X(debug3) X(DNS_mode) X(DDE_mode) X(socketver) X(hostname) X(ip)        \
    X(tempdir) X(logdir) X(gopherdir) X(webdir) X(althomepage) X(reject_ip_filename)            \
    X(gopher_about_filename) X(gopher_about_hide) X(security_realm) X(webdirbrowsing) X(logany) \
    X(logsearchstring) X(countfilehits) X(countreferer)
#define CGI(X) X(GMT_Offset) X(Debug_Mode) X(Perl_Compiler) X(Perl_Dir) X(Timeout)
#define REGISTRATION(X) X(name) X(organization) X(email) X(logo)
#define SEVEN(key) #key "=7\r\n"
#define CHANGED(key) EXPECT_FALSE(same(settings.key, initial.key)) << #key;
#define RESTORED(key) EXPECT_TRUE(same(settings.key, initial.key)) << #key;

TEST_F(SettingsTest, WithoutAFileEveryKeyHasItsDefault) {
    const Settings initial;
    // Every key set away from its default first: the next load must put each back.
    load("[Options]\r\n" OPTIONS(SEVEN) "[CGI]\r\n" CGI(SEVEN)
         "[Registration]\r\n" REGISTRATION(SEVEN)
         "[Extensions]\r\nfolder_icon=/i/dir.gif\r\nmap1=htm h text/html\r\n"
         "[Aliases]\r\nAlias1=/a/ c:\\a\\\r\n[Users]\r\nUser1=bob pw\r\n"
         "[Groups]\r\nGroup1=staff bob\r\n");
    OPTIONS(CHANGED) CGI(CHANGED) REGISTRATION(CHANGED)
    release_settings();
    std::remove(home.file("qxserver.ini").c_str());
    profile::forget_all();
    shell.take();

    load_settings();
    EXPECT_EQ(shell.log, "Reading ini file...\r\n");
    OPTIONS(RESTORED) CGI(RESTORED) REGISTRATION(RESTORED)
    EXPECT_EQ(settings.folder_icon, nullptr);
    EXPECT_TRUE(extension_table.empty());
    EXPECT_EQ(access_tables.alias_count + access_tables.user_count + access_tables.group_count, 0);
}
// clang-format on

#undef OPTIONS
#undef CGI
#undef REGISTRATION
#undef SEVEN
#undef CHANGED
#undef RESTORED

// The tables load after the settings, so scramble_passwords applies to the users.
TEST_F(SettingsTest, ValuesAreCutToTheirWidthAndDirectoriesEndInABackslash) {
    std::string dir(300, 'd');
    load(
        "[Options]\r\nhttpport=http\r\ngopherport=7070x\r\nbuffsize=\r\ngopherdir=\r\nlogdir=\r\n"
        "scramble_passwords=yes\r\nip=192.168.100.200:8080\r\nwebdir=" +
        dir + "\r\ntempdir=" + dir + "\r\nhostname=" + std::string(120, 'h') +
        "\r\n[CGI]\r\nGMT_Offset=" + std::string(20, 'g') +
        "\r\n[Extensions]\r\nfolder_icon=" + std::string(300, 'i') +
        "\r\n[Aliases]\r\nAlias1=/only-a-url/\r\n[Users]\r\nUser1=bob short\r\n");
    EXPECT_EQ(shell.log,
              "Reading ini file...\r\n"
              "*** Error!  httpport=0 is out of range (1 to 65535); using 80\r\n"
              "*** Error!  Alias1 needs a virtual path and a DOS path!\r\n"
              "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n");
    EXPECT_EQ(settings.httpport, 80);  // letters read as 0, which no port is
    EXPECT_EQ(settings.gopherport, 7070);
    EXPECT_EQ(settings.buffsize, 8192);  // an empty value: the default
    EXPECT_STREQ(settings.ip, "192.168.100.200");
    // The document directories end in a backslash, with room for it after 253 characters;
    // the temporary and log directories stay as read.
    EXPECT_EQ(std::string(settings.webdir), std::string(253, 'd') + "\\");
    EXPECT_STREQ(settings.gopherdir, "\\");
    EXPECT_EQ(std::string(settings.tempdir), std::string(253, 'd'));
    EXPECT_STREQ(settings.logdir, "");
    EXPECT_EQ(std::string(settings.hostname), std::string(98, 'h'));
    EXPECT_EQ(std::string(settings.GMT_Offset), std::string(14, 'g'));
    ASSERT_NE(settings.folder_icon, nullptr);
    EXPECT_EQ(std::string(settings.folder_icon), std::string(254, 'i'));
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
    EXPECT_NE(shell.log.find("*** Error!  pollevery=-5 is out of range (1 to 2147483647); using "
                             "200\r\n"),
              std::string::npos)
        << shell.log;
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

    // A reload sees the file as it is now; an empty folder_icon is none.
    write_ini("[Options]\r\nsound=0\r\n[Extensions]\r\nfolder_icon=\r\n[Users]\r\nUser1=dave\r\n");
    reload_settings();
    EXPECT_EQ(access_tables.alias_count, 0);
    EXPECT_EQ(access_tables.user_count, 1);
    EXPECT_TRUE(extension_table.empty());
    EXPECT_EQ(settings.folder_icon, nullptr);
}

}  // namespace
}  // namespace qxs
