// Start-up and stopping, with the real binary.
#include <cctype>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

TEST(Startup, ScreenLogLinesComeInOrder) {
    ServerProcess server;
    server.write_settings();
    ASSERT_TRUE(server.start());
    ASSERT_TRUE(server.wait_for_log("for the latest version.\r\n"));  // the banner is out too
    const std::string log = server.screen_log();
    const std::string head =
        "Reading ini file...\r\nUnable to register program as Windows 95 service.\r\n"
        "The start time is ";
    const std::string tail = "\r\nUsing  qxserver.ini  hostname = 'localhost'\r\nListening...\r\n" +
                             std::string(54, '-') + "\r\n";  // the banner follows
    ASSERT_EQ(log.compare(0, head.size(), head), 0) << log;
    // "Wed Jan 02 02:03:55 1980": the day zero-padded.
    std::string date = log.substr(head.size(), 24);
    for (char& c : date)
        c = std::isdigit(static_cast<unsigned char>(c))   ? '9'
            : std::isalpha(static_cast<unsigned char>(c)) ? 'a'
                                                          : c;
    EXPECT_EQ(date, "aaa aaa 99 99:99:99 9999") << log;
    EXPECT_EQ(log.compare(head.size() + 24, tail.size(), tail), 0) << log;
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.standard_error(), "");
}

// SIGTERM ends every other test; an open connection does not hold SIGINT up.
TEST(Startup, InterruptEndsTheServerCleanly) {
    ServerProcess server;
    server.write_settings();
    ASSERT_TRUE(server.start());
    Client idle(server.http_port());
    ASSERT_TRUE(idle.connected());
    EXPECT_EQ(server.stop(SIGINT), 0);
    EXPECT_EQ(server.standard_error(), "");
}

// The console tells the operator's texts, then why in words, and ends with
// status 1 rather than run on listening on nothing.
TEST(Startup, TakenGopherPortStopsStartupBeforeTheHttpListener) {
    ServerProcess holder;  // another program holds the gopher port
    holder.write_settings();
    ASSERT_TRUE(holder.start());
    ServerProcess server;
    server.write_settings("gopherport=" + std::to_string(holder.gopher_port()) + "\r\n");
    ASSERT_TRUE(server.start({}, false));
    ASSERT_TRUE(server.wait_for_log("Reason: 10048\r\n"));
    std::string log = server.screen_log();
    EXPECT_NE(
        log.find("[QXServer ERROR!] Error Binding Socket to Port\r\nCheck your hostname and "
                 "ip\r\nError Binding Socket to Port\r\nCheck your hostname and ip\r\nReason: "
                 "10048\r\n[QXServer ERROR!] Reason: 10048\r\n"),
        std::string::npos)
        << log;
    EXPECT_EQ(log.find("Listening...\r\n"), std::string::npos);
    Client http(server.http_port());
    EXPECT_FALSE(http.connected());

    EXPECT_TRUE(server.has_exited());
    EXPECT_EQ(server.stop(), 1);
    EXPECT_EQ(server.standard_error(),
              "qxserver: port " + std::to_string(holder.gopher_port()) + " is already in use\n");
}

}  // namespace
}  // namespace qxs::test
