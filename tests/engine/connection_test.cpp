#include "engine/connection.h"

#include <gtest/gtest.h>

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

TEST(ConnectionTable, CloseLineCountsASameSecondCloseAsAFifthOfASecond) {
    EngineFixture fx;
    settings.view_closing = 1;
    Connection& c = fx.connect();
    c.bytes_sent = 100;
    c.start_time = time(nullptr);
    close_connection(c);
    // Unless the clock turned a second meanwhile, the rate is bytes times five.
    bool same_second = fx.shell.log.find("00)    Close (100 bytes / 0.2 secs = 500.00 b/s)\r\n") !=
                       std::string::npos;
    bool next_second = fx.shell.log.find("00)    Close (100 bytes / 1.0 secs = 100.00 b/s)\r\n") !=
                       std::string::npos;
    EXPECT_TRUE(same_second || next_second) << fx.shell.log;
    EXPECT_TRUE(fx.closed(c));
}

TEST(NotifyProcedure, PeerCloseEndsOnlyAConnectionStillReading) {
    EngineFixture fx;
    Connection& reading = fx.connect();
    Connection& sending = fx.connect();
    Connection& waiting = fx.connect();
    sending.state = kSend;
    waiting.state = kCgiWait;
    for (Connection* c : {&reading, &sending, &waiting}) socket_notification(c->sock, FD_CLOSE, 0);
    EXPECT_EQ(reading.state, kIdle);
    EXPECT_EQ(sending.state, kSend);  // its next send tells whether the peer is gone
    EXPECT_EQ(waiting.state, kCgiWait);
    socket_notification(waiting.sock, FD_CLOSE, 10054);
    EXPECT_EQ(waiting.state, kIdle);
}

TEST(NotifyProcedure, WriteStartsATurnOnlyWhenGreedy) {
    EngineFixture fx;
    fx.home.write("html/f.txt", "0123456789");
    Connection& c = fx.connect();
    queuegopherfile(c, "c:\\html\\f.txt", 1, 0);
    socket_notification(c.sock, FD_WRITE, 0);
    EXPECT_EQ(fx.sent(c), "");
    settings.greedy = 1;
    socket_notification(c.sock, FD_WRITE, 0);
    EXPECT_EQ(fx.sent(c), "0123456789");
}

}  // namespace
}  // namespace qxs::test
