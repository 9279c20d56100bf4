// The access log of the real server, read by a standard log analyser.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

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
    exchange(server.http_port(), "GET /a.htm?q=1 HTTP/1.0\r\nReferer: http://example.com/\r\n\r\n");
    exchange(server.http_port(), "GET /b.txt?x HTTP/1.0\r\n\r\n");
    exchange(server.http_port(), "GET /b.txt HTTP/1.0\r\n\r\n");
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
