// The access log and counters of the real server, and the totals that
// survive a restart.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

std::string answer(ServerProcess& server, const std::string& request) {
    return exchange(server.http_port(), request);
}

TEST(AccessLogE2E, LogsCountsAndKeepsTotalsAcrossRestarts) {
    ServerProcess server;
    server.write_settings();
    server.home().write("html/a.htm", "<p>A page.</p>\r\n");
    ASSERT_TRUE(server.start());
    std::string reply = answer(server,
                               "GET /a.htm?x=1 HTTP/1.0\r\n"
                               "Referer: http://example.com/find?q=a\r\n\r\n");
    ASSERT_NE(reply.find("A page."), std::string::npos) << reply;
    EXPECT_EQ(server.stop(), 0);

    std::string log = TempDir::read(server.home().file("logs/qxs.log"));
    // One line: "127.0.0.1 - - [06/Dec/2026:10:00:00 +0000] "GET /a.htm HTTP/1.0" 200 40",
    // in the zone of the machine.
    ASSERT_EQ(log.find("\r\n"), log.size() - 2) << log;
    EXPECT_EQ(log.rfind("127.0.0.1 - - [", 0), 0u) << log;
    char zone[8];
    time_t now = time(nullptr);
    strftime(zone, sizeof zone, "%z", localtime(&now));
    size_t date_end = log.find(std::string(" ") + zone + "] \"GET /a.htm HTTP/1.0\" 200 ");
    ASSERT_EQ(date_end, 15u + 20u) << log;
    EXPECT_EQ(log[17], '/');
    EXPECT_EQ(log[21], '/');
    EXPECT_EQ(log[26], ':');
    std::string counts = TempDir::read(server.home().file("logs/counts.qxs"));
    EXPECT_NE(counts.find("\r\n/a.htm=1 "), std::string::npos) << counts;
    EXPECT_NE(counts.find("\r\nConnects=1\r\n"), std::string::npos) << counts;
    std::string referers = TempDir::read(server.home().file("logs/referer.qxs"));
    EXPECT_NE(referers.find("[/a.htm]\r\nhttp://example.com/find?q%3Da=1 "), std::string::npos)
        << referers;

    ASSERT_TRUE(server.start());
    answer(server, "GET /a.htm HTTP/1.0\r\n\r\n");
    EXPECT_EQ(server.stop(), 0);
    counts = TempDir::read(server.home().file("logs/counts.qxs"));
    EXPECT_NE(counts.find("\r\n/a.htm=2 "), std::string::npos) << counts;
    EXPECT_NE(counts.find("\r\nConnects=2\r\nFilesSentOK=2\r\n"), std::string::npos) << counts;
    EXPECT_EQ(server.standard_error(), "");
}

// A standard log analyser reads the access log of sent files. (A line whose
// status is "-" -- a HEAD, an error -- has no number for it to read.)
// Written in a zone far from -0700, the log places every hit at its hour.
TEST(AccessLogE2E, GoaccessReadsTheLog) {
    if (!have_program("goaccess")) GTEST_SKIP() << "goaccess is not installed";
    ServerProcess server;
    server.set_environment("TZ", "IST-5:30");
    server.write_settings();
    server.home().write("html/a.htm", "<p>A page.</p>\r\n");
    server.home().write("html/b.txt", "text\r\n");
    ASSERT_TRUE(server.start());
    answer(server, "GET /a.htm?q=1 HTTP/1.0\r\nReferer: http://example.com/\r\n\r\n");
    answer(server, "GET /b.txt?x HTTP/1.0\r\n\r\n");
    answer(server, "GET /b.txt HTTP/1.0\r\n\r\n");
    EXPECT_EQ(server.stop(), 0);
    char utc_hour[4];
    time_t now = time(nullptr);
    strftime(utc_hour, sizeof utc_hour, "%H", gmtime(&now));
    std::string report = server.home().file("report.json");
    CommandResult result = run_command(
        "goaccess '" + server.home().file("logs/qxs.log") +
        "' --log-format='%h %^[%x] \"%r\" %s %b' --datetime-format='%d/%b/%Y:%H:%M:%S %z' "
        "--tz=UTC --no-global-config -o '" +
        report + "' 2>&1");
    ASSERT_EQ(result.status, 0) << result.output;
    std::string json = TempDir::read(report);
    EXPECT_NE(json.find("\"total_requests\": 3,"), std::string::npos) << json.substr(0, 400);
    EXPECT_NE(json.find("\"failed_requests\": 0,"), std::string::npos) << json.substr(0, 400);
    // The hour of the hits, taken back to UTC (a test run across an hour's
    // turn may see the next one).
    EXPECT_NE(json.find(std::string("\"data\": \"") + utc_hour + "\""), std::string::npos) << json;
}

}  // namespace
}  // namespace qxs::test
