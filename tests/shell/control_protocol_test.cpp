#include "shell/control_protocol.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/admission.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

using control::Conversations;
using control::LineReader;

std::vector<std::string> feed_all(LineReader& reader, const std::string& bytes) {
    std::vector<std::string> lines;
    reader.feed(bytes.data(), bytes.size(), [&](std::string_view line) {
        lines.emplace_back(line);
        return true;
    });
    return lines;
}

TEST(ControlLineReader, LinesAcrossReadsWithCrLfAndEmptyLines) {
    LineReader reader;
    EXPECT_TRUE(feed_all(reader, "INITI").empty());
    EXPECT_EQ(feed_all(reader, "ATE\r\n\nEXECUTE a\rb\nTERM"),
              (std::vector<std::string>{"INITIATE", "", "EXECUTE a\rb"}));
    EXPECT_EQ(feed_all(reader, "INATE\n"), (std::vector<std::string>{"TERMINATE"}));
}

// A line longer than the buffer is cut, and its tail is not read as the
// next line, however it is split across reads.
TEST(ControlLineReader, LongLineIsCutAndItsTailDiscarded) {
    LineReader reader;
    std::string long_line = "EXECUTE " + std::string(control::kMaxLine + 500, 'x');
    EXPECT_TRUE(feed_all(reader, long_line.substr(0, 3000)).empty());
    std::vector<std::string> lines =
        feed_all(reader, long_line.substr(3000) + "\r\nEXECUTE pause\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], long_line.substr(0, control::kMaxLine));
    EXPECT_EQ(lines[1], "EXECUTE pause");
}

// Records what the rules send and close, with the screen log as it was at
// each send, so a test can tell whether a command ran before its answer.
class Recorder final : public Conversations::Transport {
public:
    explicit Recorder(CaptureShell& shell) : shell_(shell) {}
    void send(int client, const char* line) override {
        events.push_back(std::to_string(client) + " " + line);
        log_at_send.push_back(shell_.log);
    }
    void close(int client) override { events.push_back(std::to_string(client) + " closed"); }
    std::vector<std::string> take() {
        std::vector<std::string> out;
        out.swap(events);
        return out;
    }
    std::vector<std::string> events;
    std::vector<std::string> log_at_send;

private:
    CaptureShell& shell_;
};

using Events = std::vector<std::string>;

class ControlConversations : public ::testing::Test {
protected:
    void TearDown() override { server_paused = 0; }

    // Connects `client` at time 0 and opens its conversation.
    void open(int client) {
        rules.connected(client, 0);
        rules.line(client, "INITIATE", 0);
        ASSERT_EQ(recorder.take(), Events{std::to_string(client) + " ACK QXS test"});
    }

    EngineFixture fx;
    Recorder recorder{fx.shell};
    Conversations rules{recorder};
};

TEST_F(ControlConversations, InitiateNamesOurServiceOrNone) {
    struct Case {
        const char* line;
        bool answered;
    };
    const Case cases[] = {
        {"INITIATE", true},     {"initiate qxs", true},   {"INITIATE QxS any topic", true},
        {"INITIATE *", true},   {"INITIATE QXSX", false}, {"INITIATE other QXS", false},
        {"INITIATEQXS", false}, {"EXECUTE pause", false}, {"TERMINATE", false},
    };
    int client = 0;
    for (const Case& c : cases) {
        rules.connected(++client, 0);
        rules.line(client, c.line, 0);
        EXPECT_EQ(recorder.take(),
                  c.answered ? Events{std::to_string(client) + " ACK QXS test"} : Events{})
            << c.line;
    }
    EXPECT_EQ(server_paused, 0);  // nothing runs without a conversation
    EXPECT_EQ(rules.open_conversations(), 4u);
}

TEST_F(ControlConversations, EleventhIsRefusedUntilOneEnds) {
    for (int client = 1; client <= 10; ++client) open(client);
    rules.connected(11, 0);
    rules.line(11, "INITIATE QXS", 0);
    EXPECT_EQ(recorder.take(), Events{});
    rules.line(3, "TERMINATE", 0);
    rules.line(3, "EXECUTE pause", 0);  // gone: not answered again
    EXPECT_EQ(recorder.take(), (Events{"3 TERMINATE", "3 closed"}));
    rules.line(11, "INITIATE QXS", 0);
    EXPECT_EQ(recorder.take(), Events{"11 ACK QXS test"});
    size_t connects = 0;
    for (size_t at = 0; (at = fx.shell.log.find("DDE connect\r\n", at)) != std::string::npos;
         ++at) {
        ++connects;
    }
    EXPECT_EQ(connects, 12u);  // the refused request is logged too
}

TEST_F(ControlConversations, DdeModeZeroRefusesNewConversationsOnly) {
    open(1);
    settings.DDE_mode = 0;
    rules.connected(2, 0);
    rules.line(2, "INITIATE QXS", 0);
    EXPECT_EQ(recorder.take(), Events{});
    rules.line(1, "EXECUTE pause", 0);
    EXPECT_EQ(recorder.take(), Events{"1 ACK EXECUTE accepted"});
    EXPECT_EQ(server_paused, 1);
    EXPECT_EQ(fx.shell.log.find("DDE connect\r\n", 13), std::string::npos);
}

TEST_F(ControlConversations, ExecuteIsAcknowledgedBeforeItRunsAndCutAt100) {
    open(1);
    fx.shell.take();
    std::string long_command(150, 'c');
    long_command[99] = 'L';
    for (const std::string& command :
         {std::string("pause"), std::string("CycleLogs"), std::string(" pause"), long_command}) {
        rules.line(1, "EXECUTE " + command, 0);
    }
    ASSERT_EQ(recorder.take(), Events(4, "1 ACK EXECUTE accepted"));
    EXPECT_EQ(recorder.log_at_send[1], "");
    EXPECT_EQ(server_paused, 1);
    EXPECT_EQ(fx.shell.boxes,
              "Server Received Execute Command: CycleLogs\n"
              "Server Received Execute Command:  pause\n"
              "Server Received Execute Command: " +
                  long_command.substr(0, 99) + "L\n");
}

TEST_F(ControlConversations, UnansweredMessagesAndAcks) {
    open(1);
    for (const char* line : {"ADVISE item", "UNADVISE", "REQUEST x", "POKE y 1", "DATA z",
                             "INITIATE", "hello", "", "ACK accepted"}) {
        rules.line(1, line, 0);
    }
    EXPECT_EQ(recorder.take(), Events{});
    EXPECT_EQ(fx.shell.boxes, "");
    rules.line(1, "ACK refused", 0);
    EXPECT_EQ(fx.shell.boxes, "Server: DDE send data failed\n");
    EXPECT_EQ(rules.open_conversations(), 1u);
}

// Idle clients are let go after 60 seconds without a line: a conversation
// with a TERMINATE, a bare connection silently. A line restarts the count.
TEST_F(ControlConversations, IdleClientsAreLetGo) {
    open(1);
    rules.connected(2, 0);
    rules.connected(3, 0);
    rules.line(3, "POKE keeps me", 30);
    rules.sweep(59);
    EXPECT_EQ(recorder.take(), Events{});
    rules.sweep(60);
    EXPECT_EQ(recorder.take(), (Events{"1 TERMINATE", "1 closed", "2 closed"}));
    rules.sweep(90);
    EXPECT_EQ(recorder.take(), Events{"3 closed"});
    EXPECT_EQ(rules.clients(), 0u);
}

TEST_F(ControlConversations, ShutdownTerminatesInOrderOfOpening) {
    rules.connected(1, 0);
    open(2);
    rules.line(1, "INITIATE", 0);
    recorder.take();
    rules.connected(3, 0);
    rules.terminate_all();
    EXPECT_EQ(recorder.take(),
              (Events{"2 TERMINATE", "1 TERMINATE", "1 closed", "2 closed", "3 closed"}));
    EXPECT_EQ(rules.clients(), 0u);
}

// Each known command writes its line and has its effect; the signals do the
// same as their commands.
TEST_F(ControlConversations, CommandsAndSignals) {
    fx.home.write("qxserver.ini", "[Options]\r\nlogdir=c:\\logs\\\r\nview_files=1\r\n");
    set_settings_file("qxserver.ini");
    fx.home.write("logs/qxs.log", "one line\r\n");
    fx.shell.take();

    control::execute_command("cyclelogs");
    EXPECT_EQ(TempDir::read(fx.home.file("logs/qxs-001.log")), "one line\r\n");
    control::execute_command("reloadini");
    EXPECT_EQ(settings.view_files, 1);
    control::execute_command("pause");
    EXPECT_EQ(server_paused, 1);
    control::execute_command("resume");
    EXPECT_EQ(server_paused, 0);
    control::execute_command("qxsheadon");
    EXPECT_EQ(fx.shell.head_animation, 1);
    control::execute_command("qxsheadoff");
    EXPECT_EQ(fx.shell.head_animation, 0);
    std::string log = fx.shell.take();
    size_t at = 0;
    for (const char* line :
         {"DDE -- CycleLogs\r\n", "DDE -- ReloadINI\r\n", "DDE -- Pause\r\n", "DDE -- Resume\r\n",
          "DDE -- QxsHeadOn\r\n", "DDE -- QxsHeadOff\r\n"}) {
        at = log.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << " in order in:\n" << log;
    }
    EXPECT_EQ(fx.shell.boxes, "");

    fx.home.write("qxserver.ini", "[Options]\r\nlogdir=c:\\logs\\\r\nview_files=0\r\n");
    control::run_signal_command(SIGHUP);
    EXPECT_EQ(settings.view_files, 0);
    control::run_signal_command(SIGUSR1);
    EXPECT_TRUE(TempDir::exists(fx.home.file("logs/qxs-002.log")));
    log = fx.shell.take();
    EXPECT_EQ(log.rfind("SIGHUP -- ReloadINI\r\nFreeing old INI information...\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("SIGUSR1 -- CycleLogs\r\n\r\nCycleLogs - Cycling"), std::string::npos)
        << log;
}

}  // namespace
}  // namespace qxs::test
