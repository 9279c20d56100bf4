#include "engine/connection.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/admission.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

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

const std::string kOverloaded = "HTTP/1.0 502 Service temporarily overloaded / Maintenance\r\n\r\n";

class Admission : public ::testing::Test {
protected:
    // The socket the next accept gives (the fake hands them out in order).
    Socket next_socket() { return fx.sockets.open_connection() + 1; }
    void reject(const std::string& entries) {
        fx.home.write("reject.ini", "[RejectIPs]\r\n" + entries);
        copy_text(settings.reject_ip_filename, sizeof settings.reject_ip_filename,
                  "c:\\reject.ini");
    }
    void TearDown() override { server_paused = 0; }
    EngineFixture fx;
};

TEST_F(Admission, RejectPatternsBroadestFirst) {
    reject("10.0.0.0=1\r\n10.1.2.3=0\r\n192.168.1.0=2\r\n192.168.1.7=0\r\n172.16.5.9=3\r\n");
    struct Case {
        uint8_t address[4];
        int expected;
    } cases[] = {
        {{10, 1, 2, 3}, 1},   {{192, 168, 1, 7}, 2}, {{192, 168, 2, 7}, 0},
        {{172, 16, 5, 9}, 3}, {{172, 16, 5, 8}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(reject_lookup(c.address), c.expected);
}

// The reject list is asked before the pause; neither refusal takes a slot.
TEST_F(Admission, RefusalsTellWhyAndTakeNoSlot) {
    struct Case {
        const char* entries;  // nullptr: not rejected, the server is paused
        std::string answer, log;
    } cases[] = {
        {"127.0.0.0=1\r\n[rejectmessages]\r\nmessage1=HTTP/1.0 403 Go away\\r\\n\\r\\nNot "
         "you\\q\r\n",
         "HTTP/1.0 403 Go away\r\n\r\nNot youq", "Rejecting connection from [127.0.0.1]!\r\n"},
        {"127.0.0.1=1\r\n",
         kOverloaded + "\r\n\r\nSorry, this server is refusing connections from your site.\r\n",
         "Rejecting connection from [127.0.0.1]!\r\n"},
        {nullptr,
         kOverloaded + "\r\n\r\nSorry, the server is temporarily paused for maintenance.  Please "
                       "try again in a few minutes.\r\n",
         "Refusing connection from [127.0.0.1]!\r\n"},
    };
    set_paused(1);
    for (const Case& k : cases) {
        reject(k.entries != nullptr ? k.entries : "");
        fx.shell.take();
        Socket s = next_socket();
        accept_connection(0);
        EXPECT_EQ(fx.sockets.sent(s), k.answer);
        EXPECT_TRUE(fx.sockets.closed(s));
        EXPECT_EQ(fx.shell.log, k.log);
    }
    EXPECT_EQ(count_active(*engine.table), 0);
    EXPECT_EQ(engine.totals.total_connections, 3);
}

// With every slot busy the next connection is left in the listen queue and
// taken from there into the first slot that frees.
TEST_F(Admission, AFullTableLeavesTheNextClientWaitingForTheLowestFreeSlot) {
    settings.view_connects = 1;
    for (int i = 0; i < kSlots; ++i) socket_notification(0, FD_ACCEPT, 0, engine.now, 0);
    EXPECT_EQ(count_active(*engine.table), kSlots);
    Socket waiting = next_socket();
    socket_notification(0, FD_ACCEPT, 0, engine.now, 0);
    EXPECT_FALSE(fx.sockets.closed(waiting));
    socket_notification(engine.table->records[7].sock, FD_CLOSE, 0, engine.now, 0);
    EXPECT_EQ(engine.table->records[7].sock, waiting);
    EXPECT_EQ(engine.table->records[7].state, kRead);
    EXPECT_STREQ(engine.table->records[7].remote_host, "127.0.0.1");
    EXPECT_NE(fx.shell.log.find("07) [127.0.0.1] "), std::string::npos);

    // Accepted into a full table all the same, a client is closed unanswered.
    Socket refused = next_socket();
    accept_connection(0);
    EXPECT_TRUE(fx.sockets.closed(refused));
    EXPECT_EQ(fx.sockets.sent(refused), "");
    EXPECT_NE(
        fx.shell.log.find("Closed connection with [127.0.0.1]!   Too many open connections!\r\n"),
        std::string::npos);
}

}  // namespace
}  // namespace qxs::test
