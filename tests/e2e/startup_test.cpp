// Start-up, the command line and stopping, with the real binary.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
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
    EXPECT_EQ(lines[5], std::string(54, '-'));
    EXPECT_NE(lines[6].find("of QXServer/Personal-3.07b-32bit"), std::string::npos);
    EXPECT_EQ(lines[8], " for the latest version.");
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.standard_error(), "");
}

TEST(Startup, MachineHostNameWhenNoneIsSet) {
    ServerProcess server;
    server.write_settings();
    std::string ini = TempDir::read(server.home().file("qxserver.ini"));
    ini.replace(ini.find("hostname=localhost"), 18, "hostname=");
    server.home().write("qxserver.ini", ini);
    ASSERT_TRUE(server.start());
    char host[100] = {};
    gethostname(host, sizeof host - 1);
    std::string log = server.screen_log();
    EXPECT_NE(log.find("Getting the hostname for this machine...\r\nHostname is '" +
                       std::string(host) + "'\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(server.stop(), 0);
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

// The console tells the operator's texts, then why in words, and ends with
// status 1 rather than run on listening on nothing.
TEST(Startup, TakenGopherPortStopsStartupBeforeTheHttpListener) {
    ServerProcess server;
    server.write_settings();
    // Another program holds the gopher port.
    int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(server.gopher_port()));
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(holder, 1), 0);

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
              "qxserver: port " + std::to_string(server.gopher_port()) + " is already in use\n");
    ::close(holder);
}

TEST(Startup, CommandLineMistakesEndWithStatusTwo) {
    CommandResult unknown = run_command(std::string(QXSERVER_BINARY) + " --bogus 2>&1");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.output.find("'--bogus'"), std::string::npos) << unknown.output;
    EXPECT_EQ(std::count(unknown.output.begin(), unknown.output.end(), '\n'), 1);

    CommandResult no_home =
        run_command(std::string(QXSERVER_BINARY) + " --home /nonexistent/qxs-home 2>&1");
    EXPECT_EQ(no_home.status, 2);
    EXPECT_NE(no_home.output.find("/nonexistent/qxs-home"), std::string::npos) << no_home.output;

    CommandResult version = run_command(std::string(QXSERVER_BINARY) + " --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, "QXServer/Personal-3.07b-32bit\n");
}

TEST(Startup, RelativeNamesResolveAgainstTheHomeNotTheCurrentDirectory) {
    ServerProcess server;
    server.write_settings("webdir=site\r\n");
    server.home().write("site/hello.txt", "hello from the home\r\n");
    // The server runs with / as its current directory (see ServerProcess).
    ASSERT_TRUE(server.start());
    std::string answer = exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n");
    EXPECT_NE(answer.find("hello from the home"), std::string::npos) << answer;
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
}  // namespace qxs::test
