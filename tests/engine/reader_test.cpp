#include "engine/reader.h"

#include <gtest/gtest.h>

#include <string>

#include "cgi/cgi_monitor.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

class Reader : public ::testing::Test {
protected:
    void feed(Connection& c, const std::string& bytes) {
        fx.sockets.queue_input(c.sock, bytes);
        read_step(c, FD_READ);
    }
    EngineFixture fx;
};

TEST_F(Reader, LinesAreAssembledAcrossReadsAndLoseTheirCarriageReturns) {
    Connection& c = fx.connect();
    read_step(c, 0);  // a quiet socket is left alone
    EXPECT_FALSE(fx.closed(c));
    feed(c, "GE");
    feed(c, "T /a.htm HTTP/1.0\r");
    EXPECT_STREQ(c.raw_command, "");
    feed(c, "\nUser-Agent: probe\r\n");
    EXPECT_STREQ(c.raw_command, "GET /a.htm HTTP/1.0");
    EXPECT_STREQ(c.path, "/a.htm");
    EXPECT_STREQ(c.user_agent, " probe");
    EXPECT_EQ(c.state, kRead);  // waiting for the empty line

    Connection& bare = fx.connect();
    feed(bare, "GET /x\ry HTTP/1.0\n");
    EXPECT_STREQ(bare.raw_command, "GET /xy HTTP/1.0");
}

// The body may come with the headers, or the headers may end the input; it
// may hold NUL bytes and be longer than the input buffer.
TEST_F(Reader, BodyPiecesFollowTheHeadersIntoTheContentFile) {
    std::string body("name=a\0b&x=", 11);
    body += std::string(5000, 'z');
    const std::string head =
        "POST /form HTTP/1.0\r\nContent-length: " + std::to_string(body.size()) + "\r\n\r\n";
    for (size_t first : {4u, 0u}) {
        Connection& c = fx.connect();
        feed(c, head + body.substr(0, first));
        EXPECT_EQ(c.state, kRead);
        EXPECT_EQ(c.body_received, static_cast<long>(first));
        EXPECT_EQ(c.buffinlen, 0);
        feed(c, body.substr(first));
        for (int step = 0; step < 3 && c.state == kRead; ++step) read_step(c, FD_READ);
        EXPECT_EQ(c.body_received, static_cast<long>(body.size()));
        EXPECT_NE(c.state, kRead);  // dispatched once the body is complete
        EXPECT_EQ(TempDir::read(fx.home.file("temp/CGI-co" + std::to_string(c.slot) + ".qxs")),
                  body);
    }
}

TEST_F(Reader, InputBeyondTheBufferIsTakenOverSeveralSteps) {
    Connection& c = fx.connect();
    std::string header = "GET / HTTP/1.0\r\n";
    for (int i = 0; i < 300; ++i) header += "X-Filler: 0123456789012345678901234567\r\n";
    fx.sockets.queue_input(c.sock, header);
    long left = static_cast<long>(header.size());
    while (left > 0 && c.state == kRead) {
        read_step(c, 0);
        EXPECT_LE(c.buffinlen, 4095);
        long now = 0;
        fx.sockets.available(c.sock, &now);
        EXPECT_LT(now, left);  // every step takes something
        left = now;
    }
    EXPECT_EQ(left, 0);
}

TEST_F(Reader, OverlongLineStaysCarriedUntilTheTimeOut) {
    Connection& c = fx.connect();
    feed(c, "GET /" + std::string(3000, 'a'));
    EXPECT_NE(fx.shell.log.find("lc"), std::string::npos);
    EXPECT_EQ(c.buffinlen, 2048);
    feed(c, " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(c.state, kRead);  // the line never completes
}

// The read time-out counts from the accept with the tick's clock: exactly
// sixty seconds is not yet too long, sixty-one is.
TEST_F(Reader, AnIncompleteRequestIsClosedAfterSixtySeconds) {
    Connection& c = fx.connect("127.0.0.1", 1000);
    feed(c, "GET /a.htm HTTP/1.0\r\n");
    cgi_monitor_pass(1060);
    EXPECT_EQ(c.state, kRead);
    cgi_monitor_pass(1061);
    EXPECT_EQ(c.state, kIdle);
    EXPECT_STREQ(c.status_text, "Connection timeout");
    EXPECT_NE(fx.shell.log.find("Connection timed out on read\r\n"), std::string::npos);
}

}  // namespace
}  // namespace qxs::test
