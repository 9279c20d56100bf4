// Start-up, the command line and stopping, with the real binary.
#include <cctype>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The lines of a text, each without its CR LF.
std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

TEST(Startup, ScreenLogLinesComeInOrder) {
    ServerProcess server;
    server.write_settings();
    ASSERT_TRUE(server.start());
    std::vector<std::string> lines = lines_of(server.screen_log());
    ASSERT_EQ(lines.size(), 9u) << server.screen_log();
    EXPECT_EQ(lines[0], "Reading ini file...");
    EXPECT_EQ(lines[1], "Unable to register program as Windows 95 service.");
    // "The start time is Wed Jan 02 02:03:55 1980": the day zero-padded.
    const std::string& start = lines[2];
    ASSERT_EQ(start.size(), 18u + 24u) << start;
    EXPECT_EQ(start.substr(0, 18), "The start time is ");
    for (size_t i : {21u, 25u, 28u, 37u}) EXPECT_EQ(start[i], ' ') << start;
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(start[26]))) << start;
    EXPECT_EQ(lines[3], "Using  qxserver.ini  hostname = 'localhost'");
    EXPECT_EQ(lines[4], "Listening...");
    EXPECT_EQ(lines[5], std::string(54, '-'));  // the banner follows
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.standard_error(), "");
}

TEST(Startup, StopSignalsEndTheServerCleanlyAndQuickly) {
    for (int signal_number : {SIGINT, SIGTERM}) {
        ServerProcess server;
        server.write_settings();
        ASSERT_TRUE(server.start());
        Client idle(server.http_port());  // an open connection does not hold the stop up
        ASSERT_TRUE(idle.connected());
        auto begin = steady_clock::now();
        EXPECT_EQ(server.stop(signal_number), 0) << signal_number;
        EXPECT_LT(steady_clock::now() - begin, std::chrono::seconds(1)) << signal_number;
        EXPECT_EQ(server.standard_error(), "");
    }
}

TEST(Startup, TakenGopherPortStopsStartupBeforeTheHttpListener) {
    ServerProcess holder;  // another program holds the gopher port
    holder.write_settings();
    ASSERT_TRUE(holder.start());
    ServerProcess server;
    server.write_settings("gopherport=" + std::to_string(holder.gopher_port()) + "\r\n");
    ASSERT_TRUE(server.start(false));
    ASSERT_TRUE(server.wait_for_log("Reason: 10048\r\n"));
    std::string log = server.screen_log();
    EXPECT_NE(log.find("[QXServer ERROR!] Error Binding Socket to Port\r\nCheck your hostname and "
                       "ip\r\nError Binding Socket to Port\r\nCheck your hostname and ipReason: "
                       "10048\r\n[QXServer ERROR!] Reason: 10048\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Listening...\r\n"), std::string::npos);
    Client http(server.http_port());
    EXPECT_FALSE(http.connected());

    // The program goes on until its operator stops it.
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_FALSE(server.has_exited());
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
}  // namespace qxs::test
