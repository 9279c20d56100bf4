// When the tick runs and when a send turn starts, on the engine's clock.
#include <gtest/gtest.h>

#include <string>

#include "config/settings.h"
#include "engine/server.h"
#include "platform/event_loop.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

class Tick : public ::testing::Test {
protected:
    void SetUp() override {
        engine.loop = &loop;
        engine.timer_running = false;
        settings.pollevery = 200;
        fx.home.write("html/f.txt", "0123456789");
    }
    void TearDown() override {
        loop.stop_timer();
        engine.timer_running = false;
        engine.loop = nullptr;
    }
    // A client's whole request arriving at `ms`.
    Connection& request_at(uint64_t ms) {
        Connection& c = fx.connect();
        fx.sockets.queue_input(c.sock, "GET /f.txt HTTP/1.0\r\n\r\n");
        socket_notification(c.sock, FD_READ, 0, engine.now, ms);
        return c;
    }

    EventLoop loop;
    EngineFixture fx;
};

// An idle server has no tick: it starts with the first connection and stops
// when the last one ends.
TEST_F(Tick, RunsOnlyWhileASlotIsBusy) {
    timer_tick(engine.now, 0);
    EXPECT_FALSE(engine.timer_running);
    socket_notification(0, FD_ACCEPT, 0, engine.now, 10);
    ASSERT_EQ(count_active(*engine.table), 1);
    EXPECT_TRUE(engine.timer_running);
    Connection& c = engine.table->records[0];
    fx.sockets.queue_input(c.sock, "GET /f.txt HTTP/1.0\r\n\r\n");
    socket_notification(c.sock, FD_READ, 0, engine.now, 20);
    EXPECT_EQ(c.state, kIdle);  // answered within the event
    EXPECT_FALSE(engine.timer_running);
}

// A ready connection sends at once after a quiet period and waits for the
// tick within a busy one: one sending connection per period.
TEST_F(Tick, SendsAtOnceOnlyAfterAQuietPeriod) {
    Connection& first = request_at(1000);
    EXPECT_EQ(first.state, kIdle);
    EXPECT_NE(fx.sent(first).find("0123456789"), std::string::npos);

    loop.run_ready();  // the loop's clock is now
    Connection& second = request_at(1100);
    EXPECT_EQ(second.state, kSend);
    // The tick comes when the next turn is allowed, not a period from now.
    loop.run_ready();
    EXPECT_NEAR(loop.next_deadline_ms(), 100, 5);
    timer_tick(engine.now, 1199);
    EXPECT_EQ(second.state, kSend);
    timer_tick(engine.now, 1200);
    EXPECT_EQ(second.state, kIdle);
    EXPECT_NE(fx.sent(second).find("0123456789"), std::string::npos);
}

// Under a burst that arrives just after a turn, each period lets exactly
// one connection send, however often the tick comes.
TEST_F(Tick, ABurstSendsOneConnectionPerPeriod) {
    engine.send_turn_ran = true;
    engine.last_send_turn_ms = 1000;
    Connection* burst[5];
    for (int i = 0; i < 5; ++i) burst[i] = &request_at(1000 + static_cast<uint64_t>(i));
    for (uint64_t ms = 1050; ms <= 2000; ms += 50) {
        timer_tick(engine.now, ms);
        int done = 0;
        for (Connection* c : burst) done += c->state == kIdle ? 1 : 0;
        EXPECT_EQ(done, static_cast<int>((ms - 1000) / 200)) << ms;
    }
}

}  // namespace
}  // namespace qxs::test
