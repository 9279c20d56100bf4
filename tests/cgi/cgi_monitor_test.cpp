// A CGI program that outlives its request: the time-out answer on the
// engine's clock, and the program ended and reaped within a second.
#include "cgi/cgi_monitor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include "config/settings.h"
#include "engine/server.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "request/file_answers.h"
#include "support/engine_fixture.h"
#include "support/faulty_calls.h"

namespace qxs::test {
namespace {

class CgiMonitor : public ::testing::Test {
protected:
    void SetUp() override {
        engine.loop = &loop;
        fx.load_tables("[Aliases]\r\nAlias1=/cgi c:\\cgi\\ Anybody Anywhere C\r\n");
        fx.home.write("cgi/.keep", "");
        // "sleep" ignores SIGTERM: only the SIGKILL after the grace ends it.
        ASSERT_EQ(::symlink(CGI_TEST_PROGRAM, fx.home.file("cgi/sleep.exe").c_str()), 0);
    }
    void TearDown() override {
        process::shutdown(loop.uv(), 0);
        engine.loop = nullptr;
    }
    // Runs the loop for up to a second while the process is there (a
    // zombie is there too); true once it is gone.
    bool gone_within_a_second(pid_t pid) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while ((::kill(pid, 0) == 0 || errno != ESRCH) &&
               std::chrono::steady_clock::now() < deadline) {
            uv_run(loop.uv(), UV_RUN_NOWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return ::kill(pid, 0) != 0 && errno == ESRCH;
    }

    EventLoop loop;
    EngineFixture fx;
};

TEST_F(CgiMonitor, AProgramWhoseRequestEndsIsEndedAndReaped) {
    // The time-out answer, and a connection closed while its program runs.
    for (bool timed_out : {true, false}) {
        SCOPED_TRACE(timed_out ? "time-out" : "close");
        Connection& c = fx.connect();
        copy_text(c.path, sizeof c.path, "/cgi/sleep.exe");
        c.request_type = kRequestGet;
        c.full_request = 1;
        serve_get(c, 1);
        ASSERT_EQ(c.state, kCgiWait) << fx.shell.log;
        const pid_t pid = process::pid(c.cgi_process);
        if (timed_out) {
            // Exactly Timeout seconds after the accept is not yet too long.
            cgi_monitor_pass(c.start_time + settings.Timeout);
            EXPECT_EQ(c.state, kCgiWait);
            cgi_monitor_pass(c.start_time + settings.Timeout + 1);
            EXPECT_EQ(fx.sent(c),
                      "HTTP/1.0 504 Gateway Timeout\r\nServer: QXServer/Personal-3.07b-32bit\r\n"
                      "Content-type: text/html\r\n\r\n<h1>CGI timeout</h1>");
            EXPECT_STREQ(c.status_text, "CGI timeout");
        } else {
            close_connection(c);
        }
        EXPECT_TRUE(fx.closed(c));
        EXPECT_EQ(c.cgi_process, nullptr);
        EXPECT_TRUE(gone_within_a_second(pid));
    }
}

// A program the system cannot start is answered as such, and leaves no
// slot and no child behind.
TEST_F(CgiMonitor, AProgramThatCannotStartIsAnswered) {
    FaultyCalls calls;
    calls.spawn_error = EAGAIN;
    Connection& c = fx.connect();
    copy_text(c.path, sizeof c.path, "/cgi/sleep.exe");
    c.request_type = kRequestGet;
    c.full_request = 1;
    serve_get(c, 1);
    EXPECT_TRUE(fx.closed(c));
    EXPECT_NE(fx.sent(c).find("An error occurred when trying to run that program."),
              std::string::npos)
        << fx.sent(c);
    EXPECT_EQ(process::held_count(loop.uv()), 0u);
}

}  // namespace
}  // namespace qxs::test
