#include "shell/operator_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/admission.h"
#include "logging/reports.h"
#include "support/engine_fixture.h"
#include "support/scoped_env.h"

namespace qxs::test {
namespace {

class OperatorCommands : public ::testing::Test {
protected:
    void SetUp() override {
        fx.home.write("qxserver.ini", "[Options]\r\nsound=0\r\ndebug1=1\r\n");
        set_settings_file("qxserver.ini");
        load_settings();
        fx.shell.take();
    }
    void TearDown() override { server_paused = 0; }

    std::string saved(const char* key) {
        char value[16];
        profile::get_string("Options", key, "-", value, sizeof value, settings_file());
        return value;
    }

    EngineFixture fx;
};

// The engine owns each switch: a toggle flips the engine's value whatever a
// front end shows, the front end is told the new state, and only the menu
// options are written back.
TEST_F(OperatorCommands, TogglesFlipTheEnginesValueAndWriteOnlyOptionsBack) {
    CommandResult result = run_operator_command(kCmdSound);
    EXPECT_EQ(settings.sound, 1);
    EXPECT_EQ(result.outcome, CommandResult::kDone);
    EXPECT_STREQ(result.text, "sound on");
    EXPECT_TRUE(fx.shell.checks[kCmdSound]);
    EXPECT_EQ(saved("sound"), "1");
    run_operator_command(kCmdSound);
    EXPECT_EQ(saved("sound"), "0");
    EXPECT_FALSE(fx.shell.checks[kCmdSound]);

    // debug1 is 1 in the file: the first toggle turns it off, and the file
    // keeps its own value.
    EXPECT_STREQ(run_operator_command(kCmdDebug1).text, "debug1 off");
    EXPECT_EQ(settings.debug1, 0);
    EXPECT_EQ(saved("debug1"), "1");

    // A reload shows every switch as the file now has it; the paused state stays.
    run_operator_command(kCmdPauseOn);
    fx.home.write("qxserver.ini", "[Options]\r\nsound=1\r\nview_commands=0\r\ndebug1=1\r\n");
    run_operator_command(kCmdReload);
    EXPECT_TRUE(fx.shell.checks[kCmdSound]);
    EXPECT_FALSE(fx.shell.checks[kCmdCommands]);
    EXPECT_TRUE(fx.shell.checks[kCmdDebug1]);
    EXPECT_TRUE(fx.shell.checks[kCmdPause]);
    EXPECT_EQ(run_operator_command(kCmdCopy).outcome, CommandResult::kUnknown);
}

// Every printout the operator can ask for, by the words typed on the
// console, then the statistics report the bare "Status" command sends.
TEST_F(OperatorCommands, Printouts) {
    fx.home.write("qxserver.ini",
                  "[Options]\r\ngopherport=7070\r\nhttpport=8080\r\ntempdir=c:\\temp\\\r\n"
                  "logdir=c:\\logs\\\r\nwebdir=c:\\html\\\r\ngopherdir=c:\\gopher\\\r\n"
                  "[Extensions]\r\nmap1=htm h text/html /i/t.gif\r\n"
                  "map2=exe 9 application/octet-stream\r\nmap3=c 0\r\n"
                  "[Aliases]\r\nAlias1=/docs/ d:\\docs\\ admins\r\n"
                  "[Users]\r\nUser1=bob pw\r\nUser2=carol\r\n"
                  "[Groups]\r\nGroup1=admins bob carol\r\nGroup2=none\r\n");
    fx.home.write("html/big.htm", std::string(5000, 'x'));
    fx.home.write("logs/counts.qxs",
                  "[Totals]\r\nConnects=4567\r\nFilesSentOK=4000\r\nBytesSent=98765432100\r\n");
    Connection& reading = fx.connect("10.1.2.3");
    copy_text(reading.path, sizeof reading.path, "/cgi-bin/q.exe");
    Connection& sending = fx.connect("192.168.100.200");
    sending.state = kSend;
    sending.bytes_sent = 1024;
    copy_text(sending.file_name, sizeof sending.file_name, "c:\\html\\big.htm");
    ScopedEnv zone("TZ", "UTC0");
    engine.table->server_start_time = 836524741;  // Thu Jul 04 23:59:01 1996 UTC
    engine.now = engine.table->server_start_time + 3600;
    engine.totals = EngineTotals{12, 3, 7, 2};
    copy_text(engine.server_name, sizeof engine.server_name, "testhost");

    for (const char* word :
         {"reload", "status", "sockets", "aliases", "users", "groups", "extensions", "about"}) {
        EXPECT_EQ(run_operator_command(operator_command_for_word(word)).outcome,
                  CommandResult::kDone)
            << word;
    }
    EXPECT_EQ(fx.shell.take() + status_report(*engine.table),
              "Freeing old INI information...\r\nReading ini file...\r\n"
              "\r\nListning on ports 7070 and 8080\r\n"
              "       Temp directory is \"c:\\temp\\\"\r\n"
              "       Log  directory is \"c:\\logs\\\"\r\n"
              "   Home web directory is \"c:\\html\\\"\r\n"
              "Home gopher directory is \"c:\\gopher\\\"\r\n"
              "\r\nSock # state [bytes sent/size] filename remotehost\r\n"
              "00) Read        10.1.2.3       0/      0 /cgi-bin/q.exe\r\n"
              "01) Send 192.168.100.200    1024/   5000 c:\\html\\big.htm\r\n"
              "\r\nThere are 30 idle sockets.\r\n\r\n"
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
              "   1)              None -- \r\n"
              "\r\n----------- Extentions ---------------------\r\n"
              "  # - DOS - Goph -- Mime            -- Icon URL\r\n"
              "   1) htm   h   'text/html      '  '/i/t.gif'\r\n"
              "   2) exe   9   'application/oct'  ''\r\n"
              "   3)   c   0   '               '  ''\r\n"
              "------------------------------------------------------\r\n"
              "Personal web and gopher server, release 3.07b of QXServer/Personal-3.07b-32bit\r\n"
              "Look at https://qxserver.example.org/\r\n for the latest version.\r\n"
              "QXServer Personal-3.07b-32bit Stats  - running on testhost\r\n"
              "\r\n-------------- Totals Since Reboot ------------\r\n"
              "      Current time is: Fri Jul 05 00:59:01 1996\r\n"
              "      Server Up Since: Thu Jul 04 23:59:01 1996\r\n"
              "          Connections: 12\r\n"
              "            Sent Dirs: 3\r\n"
              "           Sent Files: 7\r\n"
              "                Posts: 2\r\n"
              "\r\n---------------- Grand Totals -----------------\r\n"
              "         Totals since: 0\r\n"
              "          Connections: 4567\r\n"
              " Files & Dirs Sent OK: 4000\r\n"
              "           Bytes Sent: 98765432100\r\n");
}

}  // namespace
}  // namespace qxs::test
