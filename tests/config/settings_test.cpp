#include "config/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "config/access_tables.h"
#include "config/extension_table.h"
#include "platform/dos_files.h"
#include "platform/profile.h"
#include "support/capture_shell.h"
#include "support/temp_dir.h"

namespace qxs {
namespace {

// Keeps the menu checks the settings set.
class MenuShell final : public Shell {
public:
    MenuShell() { previous_ = set_shell(this); }
    ~MenuShell() override { set_shell(previous_); }
    void append_log(const char* text) override { log += text; }
    void refresh_status() override {}
    void message_box(const char*, const char*) override {}
    void beep(Beep) override {}
    int set_menu_check(int id, int value) override {
        checks.push_back({id, value});
        return value;
    }
    void tick() override {}

    std::string log;
    std::vector<std::pair<int, int>> checks;

private:
    Shell* previous_ = nullptr;
};

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

void expect_same(const char* name, int loaded, int initial) {
    EXPECT_EQ(loaded, initial) << name;
}
void expect_same(const char* name, const char* loaded, const char* initial) {
    EXPECT_STREQ(loaded, initial) << name;
}

TEST_F(SettingsTest, WithoutAFileEveryKeyHasItsDefault) {
    // Load values that differ from every default first: the next load must
    // put each default back.
    load(
        "[Options]\r\ngopherport=1\r\nhttpport=2\r\nbuffsize=3\r\nmaxretry=4\r\npollevery=5\r\n"
        "throttle=6\r\nsound=1\r\ngreedy=1\r\nminimize=1\r\nview_connects=1\r\n"
        "view_commands=0\r\nview_files=1\r\nview_closing=1\r\ndebug1=1\r\ndebug2=1\r\n"
        "debug3=1\r\nDNS_mode=1\r\nDDE_mode=0\r\nsocketver=1\r\nhostname=h\r\nip=1.2.3.4\r\n"
        "tempdir=t\r\nlogdir=l\r\ngopherdir=g\r\nwebdir=w\r\nalthomepage=a\r\n"
        "reject_ip_filename=r\r\ngopher_about_filename=f\r\ngopher_about_hide=1\r\n"
        "security_realm=s\r\nwebdirbrowsing=1\r\nlogany=0\r\nlogsearchstring=1\r\n"
        "countfilehits=0\r\ncountreferer=0\r\n"
        "[CGI]\r\nGMT_Offset=+1\r\nDebug_Mode=Yes\r\nPerl_Compiler=perl\r\nPerl_Dir=/usr/bin/\r\n"
        "Timeout=5\r\n[Registration]\r\nname=n\r\norganization=o\r\nemail=e\r\nlogo=l\r\n"
        "[Extensions]\r\nfolder_icon=/i/dir.gif\r\nmap1=htm h text/html\r\n"
        "[Aliases]\r\nAlias1=/a/ c:\\a\\\r\n[Users]\r\nUser1=bob pw\r\n"
        "[Groups]\r\nGroup1=staff bob\r\n");
    EXPECT_EQ(settings.httpport, 2);
    ASSERT_NE(settings.folder_icon, nullptr);
    release_settings();
    std::remove(home.file("qxserver.ini").c_str());
    profile::forget_all();
    shell.take();

    load_settings();
    EXPECT_EQ(shell.log, "Reading ini file...\r\n");
    const Settings initial;
    // Every field: the loader's defaults and the record's own agree.
    // clang-format off
#define X(field) expect_same(#field, settings.field, initial.field)
    X(gopherport); X(httpport); X(buffsize); X(maxretry); X(pollevery); X(throttle); X(sound);
    X(greedy); X(minimize); X(view_connects); X(view_commands); X(view_files); X(view_closing);
    X(debug1); X(debug2); X(debug3); X(DNS_mode); X(DDE_mode); X(socketver); X(hostname); X(ip);
    X(tempdir); X(logdir); X(gopherdir); X(webdir); X(althomepage); X(reject_ip_filename);
    X(gopher_about_filename); X(gopher_about_hide); X(security_realm); X(webdirbrowsing); X(logany);
    X(logsearchstring); X(countfilehits); X(countreferer); X(GMT_Offset); X(Debug_Mode);
    X(Perl_Compiler); X(Perl_Dir); X(Timeout); X(name); X(organization); X(email); X(logo);
#undef X
    // clang-format on
    EXPECT_EQ(settings.httpport, 80);
    EXPECT_EQ(settings.gopherport, 70);
    EXPECT_EQ(settings.buffsize, 8192);
    EXPECT_EQ(settings.pollevery, 200);
    EXPECT_STREQ(settings.webdir, "c:\\qxs\\html\\");
    EXPECT_EQ(settings.Timeout, 180);
    EXPECT_EQ(settings.view_commands, 1);
    EXPECT_EQ(settings.view_connects + settings.view_files + settings.view_closing, 0);
    EXPECT_EQ(settings.folder_icon, nullptr);
    EXPECT_TRUE(extension_table.empty());
    EXPECT_EQ(access_tables.alias_count, 0);
    EXPECT_EQ(access_tables.user_count, 0);
    EXPECT_EQ(access_tables.group_count, 0);
}

TEST_F(SettingsTest, DocumentDirectoriesGetATrailingBackslash) {
    struct Case {
        const char* value;
        const char* web;   // webdir and gopherdir
        const char* temp;  // tempdir and logdir: left as read
    } cases[] = {
        {"d:\\web", "d:\\web\\", "d:\\web"},
        {"d:\\web\\", "d:\\web\\", "d:\\web\\"},
        {"", "\\", ""},
        {"/srv/www/", "/srv/www/\\", "/srv/www/"},
    };
    for (const Case& c : cases) {
        std::string v = c.value;
        load("[Options]\r\nwebdir=" + v + "\r\ngopherdir=" + v + "\r\ntempdir=" + v +
             "\r\nlogdir=" + v + "\r\n");
        EXPECT_STREQ(settings.webdir, c.web) << c.value;
        EXPECT_STREQ(settings.gopherdir, c.web) << c.value;
        EXPECT_STREQ(settings.tempdir, c.temp) << c.value;
        EXPECT_STREQ(settings.logdir, c.temp) << c.value;
        release_settings();
    }
}

TEST_F(SettingsTest, LongValuesAreCutToTheirWidth) {
    std::string dir(300, 'd');
    load("[Options]\r\nip=192.168.100.200:8080\r\nwebdir=" + dir + "\r\ntempdir=" + dir +
         "\r\nhostname=" + std::string(120, 'h') +
         "\r\n[CGI]\r\nGMT_Offset=" + std::string(20, 'g') +
         "\r\n[Extensions]\r\nfolder_icon=" + std::string(300, 'i') + "\r\n");
    EXPECT_STREQ(settings.ip, "192.168.100.200");
    // 253 characters kept, and still room for the backslash.
    EXPECT_EQ(std::string(settings.webdir), std::string(253, 'd') + "\\");
    EXPECT_EQ(std::string(settings.tempdir), std::string(253, 'd'));
    EXPECT_EQ(std::string(settings.hostname), std::string(98, 'h'));
    EXPECT_EQ(std::string(settings.GMT_Offset), std::string(14, 'g'));
    ASSERT_NE(settings.folder_icon, nullptr);
    EXPECT_EQ(std::string(settings.folder_icon), std::string(254, 'i'));
}

TEST_F(SettingsTest, NumbersTakeTheLeadingDecimalNumber) {
    load("[Options]\r\nhttpport=http\r\ngopherport=7070x\r\nbuffsize=\r\n[cgi]\r\ntimeout=-5\r\n");
    EXPECT_EQ(settings.httpport, 0);
    EXPECT_EQ(settings.gopherport, 7070);
    EXPECT_EQ(settings.buffsize, 8192);
    EXPECT_EQ(settings.Timeout, -5);
}

TEST_F(SettingsTest, FolderIconOnlyWhenTheKeyHasText) {
    load("[Extensions]\r\nfolder_icon=/icons/folder.gif\r\n");
    ASSERT_NE(settings.folder_icon, nullptr);
    EXPECT_STREQ(settings.folder_icon, "/icons/folder.gif");
    release_settings();
    EXPECT_EQ(settings.folder_icon, nullptr);

    load("[Extensions]\r\nfolder_icon=\r\n");
    EXPECT_EQ(settings.folder_icon, nullptr);
}

TEST_F(SettingsTest, TablesLoadInOrderAfterTheSettings) {
    load(
        "[Options]\r\nscramble_passwords=yes\r\n[Aliases]\r\nAlias1=/only-a-url/\r\n"
        "[Users]\r\nUser1=bob short\r\n");
    EXPECT_EQ(shell.log,
              "Reading ini file...\r\n"
              "*** Error!  Alias1 needs a virtual path and a DOS path!\r\n"
              "*** Error!  Invallid scrambled password!  Length does not equal 34.\r\n");
}

TEST_F(SettingsTest, ReloadReplacesEveryTableWhole) {
    MenuShell menu;
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
    EXPECT_EQ(access_tables.group_count, 1);
    EXPECT_EQ(access_tables.groups[0].member_count, 2);
    EXPECT_EQ(menu.log,
              "Reading ini file...\r\n"
              "Freeing old INI information...\r\nReading ini file...\r\n"
              "Freeing old INI information...\r\nReading ini file...\r\n");
    std::vector<std::pair<int, int>> expected = {
        {kMenuSound, 1}, {kMenuGreedy, 0}, {kMenuMinimize, 1}};
    std::vector<std::pair<int, int>> last(menu.checks.end() - 3, menu.checks.end());
    EXPECT_EQ(last, expected);

    // A reload sees the file as it is now.
    write_ini("[Options]\r\nsound=0\r\n[Users]\r\nUser1=dave\r\n");
    reload_settings();
    EXPECT_EQ(settings.sound, 0);
    EXPECT_EQ(access_tables.alias_count, 0);
    EXPECT_EQ(access_tables.user_count, 1);
    EXPECT_TRUE(extension_table.empty());
    EXPECT_EQ(settings.folder_icon, nullptr);
    EXPECT_EQ(menu.checks.back(), std::make_pair(static_cast<int>(kMenuMinimize), 0));
}

}  // namespace
}  // namespace qxs
