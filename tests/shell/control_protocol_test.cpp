#include "shell/control_protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "config/settings.h"
#include "engine/admission.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

using control::Conversations;

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

// Our service in any case, or none; nothing else is answered, and nothing
// runs without a conversation. With DDE_mode 0 no new conversation opens, but
// an open one goes on.
TEST_F(ControlConversations, InitiateNamesOurServiceOrNone) {
    const std::pair<const char*, bool> cases[] = {
        {"INITIATE", true},       {"initiate qxs", true},   {"INITIATE QxS any topic", true},
        {"INITIATE *", true},     {"INITIATE QXSX", false}, {"INITIATE other QXS", false},
        {"EXECUTE pause", false}, {"TERMINATE", false},
    };
    int client = 0;
    for (const auto& [line, answered] : cases) {
        rules.connected(++client, 0);
        rules.line(client, line, 0);
        EXPECT_EQ(recorder.take(),
                  answered ? Events{std::to_string(client) + " ACK QXS test"} : Events{})
            << line;
    }
    EXPECT_EQ(server_paused, 0);
    settings.DDE_mode = 0;
    rules.line(5, "INITIATE", 0);
    rules.line(1, "EXECUTE pause", 0);
    EXPECT_EQ(recorder.take(), Events{"1 ACK EXECUTE accepted"});
    EXPECT_EQ(server_paused, 1);
}

// The acknowledgement leaves before the command runs; the command is cut at
// 100 characters and compared exactly; the other messages get no answer.
TEST_F(ControlConversations, ExecuteIsAcknowledgedFirstOtherMessagesNever) {
    open(1);
    fx.shell.take();
    std::string long_command = std::string(99, 'c') + "L" + std::string(50, 'c');
    for (std::string command : {"qxsheadon", "CycleLogs", " pause", long_command.c_str()}) {
        rules.line(1, "EXECUTE " + command, 0);
    }
    EXPECT_EQ(recorder.take(), Events(4, "1 ACK EXECUTE accepted"));
    EXPECT_EQ(recorder.log_at_send[1], "");
    EXPECT_EQ(fx.shell.log, "DDE -- QxsHeadOn\r\n");
    EXPECT_EQ(fx.shell.head_animation, 1);
    EXPECT_EQ(fx.shell.boxes,
              "Server Received Execute Command: CycleLogs\n"
              "Server Received Execute Command:  pause\n"
              "Server Received Execute Command: " +
                  long_command.substr(0, 100) + "\n");
    fx.shell.boxes.clear();
    for (const char* line : {"ADVISE item", "UNADVISE", "REQUEST x", "POKE y 1", "DATA z",
                             "INITIATE", "", "ACK accepted"}) {
        rules.line(1, line, 0);
    }
    EXPECT_EQ(recorder.take(), Events{});
    rules.line(1, "ACK refused", 0);
    EXPECT_EQ(fx.shell.boxes, "Server: DDE send data failed\n");
    rules.line(1, "TERMINATE", 0);
    rules.line(1, "TERMINATE", 0);
    EXPECT_EQ(recorder.take(), (Events{"1 TERMINATE", "1 closed"}));
}

// Idle clients are let go after 60 seconds without a line: a conversation
// with a TERMINATE, a bare connection silently. At shutdown the open
// conversations are terminated in the order they were opened.
TEST_F(ControlConversations, IdleLimitAndShutdown) {
    open(1);
    rules.connected(2, 0);
    rules.connected(3, 0);
    rules.line(3, "POKE keeps me", 30'000);
    rules.sweep(59'999);
    EXPECT_EQ(recorder.take(), Events{});
    rules.sweep(60'000);
    EXPECT_EQ(recorder.take(), (Events{"1 TERMINATE", "1 closed", "2 closed"}));

    rules.connected(4, 60'000);
    open(5);
    rules.line(4, "INITIATE", 60'000);
    recorder.take();
    rules.terminate_all();
    EXPECT_EQ(recorder.take(),
              (Events{"5 TERMINATE", "4 TERMINATE", "3 closed", "4 closed", "5 closed"}));
    EXPECT_EQ(rules.clients(), 0u);
}

}  // namespace
}  // namespace qxs::test
