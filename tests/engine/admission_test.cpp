#include "engine/admission.h"

#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "engine/server.h"
#include "platform/strings.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

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
        {{172, 16, 5, 9}, 3}, {{172, 16, 5, 8}, 0},  {{127, 0, 0, 1}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(reject_lookup(c.address), c.expected);
    settings.reject_ip_filename[0] = '\0';
    EXPECT_EQ(reject_lookup(cases[0].address), 0);
}

TEST_F(Admission, PausedServerRefusesWithTheMaintenanceTextAfterTheRejectList) {
    set_paused(1);
    EXPECT_NE(fx.shell.log.find("\r\n*** SERVER PAUSED - Refusing connections\r\n"),
              std::string::npos);
    Socket s = next_socket();
    accept_connection(0);
    EXPECT_EQ(fx.sockets.sent(s),
              "HTTP/1.0 502 Service temporarily overloaded / Maintenance\r\n\r\n"
              "\r\n\r\nSorry, the server is temporarily paused for maintenance.  Please try "
              "again in a few minutes.\r\n");
    EXPECT_TRUE(fx.sockets.closed(s));
    EXPECT_EQ(count_active(*engine.table), 0);
    EXPECT_EQ(engine.totals.total_connections, 1);

    reject("127.0.0.1=1\r\n");
    Socket rejected = next_socket();
    accept_connection(0);
    EXPECT_NE(fx.sockets.sent(rejected).find("refusing connections from your site"),
              std::string::npos);
    set_paused(0);
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
