#include "shell/operator_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "engine/admission.h"
#include "platform/profile.h"
#include "support/engine_fixture.h"

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
}

// Pausing outright and toggling agree, whatever was shown before.
TEST_F(OperatorCommands, PauseAndResumeSetTheFlagOutright) {
    run_operator_command(kCmdPauseOn);
    run_operator_command(kCmdPauseOn);
    EXPECT_EQ(server_paused, 1);
    EXPECT_TRUE(fx.shell.checks[kCmdPause]);
    run_operator_command(kCmdPause);
    EXPECT_EQ(server_paused, 0);
    run_operator_command(kCmdResume);
    EXPECT_EQ(server_paused, 0);
    EXPECT_FALSE(fx.shell.checks[kCmdPause]);
    EXPECT_EQ(fx.shell.log,
              "\r\n*** SERVER PAUSED - Refusing connections\r\n"
              "\r\n*** SERVER PAUSED - Refusing connections\r\n"
              "\r\n*** SERVER RESTARTED\r\n\r\n*** SERVER RESTARTED\r\n");
}

// A reload shows every switch as the file now has it; the paused state stays.
TEST_F(OperatorCommands, ReloadShowsTheSwitchesFromTheFile) {
    run_operator_command(kCmdPauseOn);
    run_operator_command(kCmdDebug1);
    fx.home.write("qxserver.ini", "[Options]\r\nsound=1\r\nview_commands=0\r\ndebug1=1\r\n");
    run_operator_command(kCmdReload);
    EXPECT_TRUE(fx.shell.checks[kCmdSound]);
    EXPECT_FALSE(fx.shell.checks[kCmdCommands]);
    EXPECT_TRUE(fx.shell.checks[kCmdDebug1]);
    EXPECT_TRUE(fx.shell.checks[kCmdPause]);
    EXPECT_EQ(run_operator_command(kCmdCopy).outcome, CommandResult::kUnknown);
}

}  // namespace
}  // namespace qxs::test
