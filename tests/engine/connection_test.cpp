#include "engine/connection.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "config/settings.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

TEST(ConnectionTable, TextsAreCutToTheirBuffersAndLookupsSkipIdleSlots) {
    EngineFixture fx;
    Connection& a = fx.connect();
    set_status_text(a, std::string(300, 's').c_str());
    set_status_text(a, nullptr);
    EXPECT_EQ(std::string(a.status_text), std::string(254, 's'));
    set_raw_command(a, std::string(2000, 'c').c_str());
    EXPECT_EQ(std::string(a.raw_command).size(), 1023u);

    Socket stale = a.sock;
    close_connection(a);
    EXPECT_EQ(find_slot(*engine.table, stale), -1);  // the idle slot still holds the number
    Connection& b = fx.connect();
    EXPECT_EQ(find_slot(*engine.table, b.sock), 0);
    EXPECT_EQ(close_by_socket(*engine.table, b.sock), 0);
    EXPECT_EQ(count_active(*engine.table), 0);
}

// The close line is timed with the event's clock; a close in the second of
// the accept counts as a fifth of a second.
TEST(ConnectionTable, CloseLineIsTimedByTheEventClock) {
    EngineFixture fx;
    settings.view_closing = 1;
    for (time_t closed_at : {1000, 1004}) {
        Connection& c = fx.connect("127.0.0.1", 1000);
        c.bytes_sent = 100;
        engine.now = closed_at;
        close_connection(c);
    }
    EXPECT_NE(fx.shell.log.find("00)    Close (100 bytes / 0.2 secs = 500.00 b/s)\r\n"),
              std::string::npos);
    EXPECT_NE(fx.shell.log.find("00)    Close (100 bytes / 4.0 secs = 25.00 b/s)\r\n"),
              std::string::npos);
}

// Whoever closes a connection a second time changes nothing: one access log
// line, one socket close, and the descriptor number a file took meanwhile
// stays that file's.
TEST(ConnectionTable, ASecondCloseChangesNothing) {
    EngineFixture fx;
    fx.home.write("html/f.txt", "0123456789");
    Connection& c = fx.connect();
    queuegopherfile(c, "c:\\html\\f.txt", 1, 0);
    const int file_fd = c.file_fd;
    close_connection(c);
    const int reopened = ::open("/dev/null", O_RDONLY);
    ASSERT_EQ(reopened, file_fd);
    close_connection(c);
    EXPECT_NE(::fcntl(reopened, F_GETFD), -1);
    ::close(reopened);
    EXPECT_EQ(fx.sockets.closes(c.sock), 1);
    std::string log = TempDir::read(fx.home.file("logs/qxs.log"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

// An orderly close ends only a connection still reading its request; a
// reset ends any at once, so that its slot is free for the next client.
TEST(NotifyProcedure, PeerCloseEndsOnlyAConnectionStillReadingAndAResetAnyOne) {
    EngineFixture fx;
    Connection& reading = fx.connect();
    Connection& sending = fx.connect();
    Connection& waiting = fx.connect();
    sending.state = kSend;
    waiting.state = kCgiWait;
    engine.send_turn_ran = true;  // no send turn now: the sender has no file
    engine.last_send_turn_ms = 0;
    for (Connection* c : {&reading, &sending, &waiting})
        socket_notification(c->sock, FD_CLOSE, 0, 0, 0);
    EXPECT_EQ(reading.state, kIdle);
    EXPECT_EQ(sending.state, kSend);
    EXPECT_EQ(waiting.state, kCgiWait);
    for (Connection* c : {&sending, &waiting}) {
        socket_notification(c->sock, FD_CLOSE, 10054, 0, 0);
        EXPECT_EQ(c->state, kIdle);
        EXPECT_STREQ(c->status_text, "Socket Error 10054");
    }
}

// Within a period that had its send turn, a write notification gives the
// sending connection a turn of its own only when greedy.
TEST(NotifyProcedure, WriteStartsATurnOnlyWhenGreedy) {
    EngineFixture fx;
    fx.home.write("html/f.txt", "0123456789");
    Connection& c = fx.connect();
    queuegopherfile(c, "c:\\html\\f.txt", 1, 0);
    engine.send_turn_ran = true;
    engine.last_send_turn_ms = 1000;
    socket_notification(c.sock, FD_WRITE, 0, 0, 1100);
    EXPECT_EQ(fx.sent(c), "");
    settings.greedy = 1;
    socket_notification(c.sock, FD_WRITE, 0, 0, 1100);
    EXPECT_EQ(fx.sent(c), "0123456789");
}

}  // namespace
}  // namespace qxs::test
