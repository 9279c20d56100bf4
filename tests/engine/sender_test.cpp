#include "engine/sender.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

class Sender : public ::testing::Test {
protected:
    // Queues a file of the home with the given content; a gopher request
    // sends it as an item of `gopher_item`.
    Connection& queue(const std::string& name, const std::string& content,
                      int request_type = kRequestGet, char gopher_item = '0') {
        fx.home.write("html/" + name, content);
        Connection& c = fx.connect();
        c.request_type = request_type;
        c.gopher_item = gopher_item;
        queuegopherfile(c, ("c:\\html\\" + name).c_str(), 1, 0);
        return c;
    }
    EngineFixture fx;
};

// Five blocks a turn; the turn that reads a short block (or none) finishes.
// Only a gopher text item gets the terminator, which is not counted as sent:
// a binary item arrives byte for byte, and a menu ends with its own line.
TEST_F(Sender, FilesGoOutInTurnsOfFiveBlocks) {
    struct Case {
        long size;
        int type;
        char item;
        std::vector<long> turns;
        std::string terminator;
    } cases[] = {
        {10 * 8192, kRequestGet, '0', {5 * 8192, 5 * 8192, 0}, ""},
        {8192, kRequestGet, '0', {8192}, ""},
        {0, kRequestGet, '0', {0}, ""},
        {0, kRequestGopher, '0', {0}, "\r\n.\r\n"},
        {5000, kRequestGopher, '9', {5000}, ""},
        {10, kRequestGopher, '1', {10}, ""},
    };
    for (const Case& k : cases) {
        const std::string content(k.size, 'x');
        Connection& c = queue("f" + std::to_string(k.size) + k.item, content, k.type, k.item);
        for (long expected : k.turns) {
            ASSERT_EQ(c.state, kSend) << k.size;
            EXPECT_EQ(send_step(c), expected) << k.size;
        }
        EXPECT_EQ(c.state, kIdle) << k.size;
        EXPECT_EQ(fx.sent(c), content + k.terminator);
        EXPECT_EQ(c.bytes_sent, k.size);
        EXPECT_STREQ(c.status_text, "File sent ok");
    }
    // A block size set above the send buffer is cut to the buffer.
    settings.buffsize = 100000;
    EXPECT_EQ(send_step(queue("a.bin", std::string(50000, 'a'))), 5 * 8192);
}

// Only what the close follows may wait in the socket for it: the last
// block (read short) and the gopher terminator.
TEST_F(Sender, OnlyTheEndOfTheFileWaitsForTheClose) {
    Connection& c = queue("menu.txt", std::string(2 * 8192 + 100, 'm'), kRequestGopher);
    send_step(c);
    EXPECT_EQ(c.state, kIdle);
    EXPECT_EQ(fx.sockets.send_flags, (std::vector<int>{0, 0, kSendMore, kSendMore}));
}

TEST_F(Sender, WouldBlockKeepsTheBlockAndTooManyFailuresDropTheClient) {
    settings.maxretry = 3;
    Connection& c = queue("c.bin", std::string(100, 'c'));
    fx.sockets.failing_sends = 3;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(send_step(c), 0);
    EXPECT_EQ(c.state, kSend);
    EXPECT_EQ(c.error_run, 3);
    EXPECT_EQ(send_step(c), 100);  // a success resets the run
    EXPECT_EQ(c.state, kIdle);

    Connection& stuck = queue("d.bin", std::string(100, 'd'));
    fx.sockets.failing_sends = 10;
    for (int i = 0; i < 4; ++i) send_step(stuck);
    EXPECT_EQ(stuck.state, kIdle);
    EXPECT_STREQ(stuck.status_text, "Too many Errors");
    EXPECT_NE(fx.shell.log.find("S0) Too many Errors"), std::string::npos);
}

TEST_F(Sender, ResetDuringTransferRecordsTheSocketError) {
    settings.debug1 = 1;
    Connection& c = queue("e.bin", std::string(100, 'e'));
    fx.sockets.failing_sends = 1;
    fx.sockets.send_error = 10054;
    send_step(c);
    EXPECT_EQ(c.state, kIdle);
    EXPECT_STREQ(c.status_text, "Socket Error 10054");
    EXPECT_NE(fx.shell.log.find("00) Connection Cancelled\r\n"), std::string::npos);
}

TEST_F(Sender, PartialSendsEndTheTurn) {
    std::string content(3000, 'p');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 26);
    fx.sockets.send_limit = 1000;
    Connection& c = queue("f.bin", content);
    EXPECT_EQ(send_step(c), 1000);
    EXPECT_EQ(send_step(c), 1000);
    EXPECT_EQ(send_step(c), 1000);  // and the end of the file is found in the same turn
    EXPECT_EQ(c.state, kIdle);
    EXPECT_EQ(send_step(c), 0);  // a closed connection has no turn
    EXPECT_EQ(fx.sent(c), content);
}

// Every block of this page expands far beyond the output buffer, and its
// last block substitutes to nothing: the whole page still arrives.
TEST_F(Sender, HtmlPageGoesOutWholeWhateverItsVariablesExpandTo) {
    std::string block;
    while (block.size() + 12 <= 8192) block += "$raw_command";
    const size_t references = block.size() / 12;
    block += std::string(8192 - block.size(), '.');
    const std::string hidden = "$referer?[" + std::string(8192 - 11, 'x') + "]";
    Connection& c = fx.connect();
    const std::string request = "GET /" + std::string(1000, 'r') + " HTTP/1.0";
    set_raw_command(c, request.c_str());
    c.request_type = kRequestGet;
    fx.home.write("html/vars.htm", block + hidden + "tail");
    queuegopherfile(c, "c:\\html\\vars.htm", 1, 0);
    fx.drain_sends();
    std::string expected;
    for (size_t i = 0; i < references; ++i) expected += request;
    expected += std::string(8192 - references * 12, '.') + "tail";
    EXPECT_EQ(fx.sent(c).size(), expected.size());
    EXPECT_EQ(fx.sent(c), expected);
    EXPECT_STREQ(c.status_text, "File sent ok");
}

TEST_F(Sender, DottedDirectoryAboveAPageKeepsItHtml) {
    fx.home.write("html/john.doe/page.htm", "$remote_address");
    Connection& c = fx.connect("10.1.2.3");
    c.request_type = kRequestGet;
    queuegopherfile(c, "c:\\html\\john.doe\\page.htm", 1, 0);
    fx.drain_sends();
    EXPECT_EQ(fx.sent(c), "10.1.2.3");
}

}  // namespace
}  // namespace qxs::test
