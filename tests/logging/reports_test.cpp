#include "logging/reports.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/connection.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "platform/sockets.h"
#include "platform/strings.h"
#include "support/capture_shell.h"
#include "support/engine_fixture.h"

namespace qxs {
namespace {

constexpr time_t kBoot = 836524741;  // Thu Jul 04 23:59:01 1996 UTC

TEST(Reports, StatusReportShowsBothKindsOfTotals) {
    test::EngineFixture fx;
    engine.table->server_start_time = kBoot;
    engine.totals = EngineTotals{12, 3, 7, 2};
    fx.home.write("logs/counts.qxs",
                  "[Totals]\r\nConnects=4567\r\nFilesSentOK=4000\r\nBytesSent=98765432100\r\n");
    std::string report = status_report(*engine.table);
    // The current time moves: only its length is fixed.
    const std::string now = "      Current time is: ";
    const size_t at = report.find(now);
    ASSERT_EQ(report.find("\r\n", at), at + now.size() + 24) << report;
    report.erase(at, now.size() + 26);
    EXPECT_EQ(report,
              "QXServer Personal-3.07b-32bit Stats  - running on testhost\r\n"
              "\r\n-------------- Totals Since Reboot ------------\r\n"
              "      Server Up Since: " +
                  std::string(log_date(kBoot)) +
                  "\r\n"
                  "          Connections: 12\r\n"
                  "            Sent Dirs: 3\r\n"
                  "           Sent Files: 7\r\n"
                  "                Posts: 2\r\n"
                  "\r\n---------------- Grand Totals -----------------\r\n"
                  "         Totals since: 0\r\n"
                  "          Connections: 4567\r\n"
                  " Files & Dirs Sent OK: 4000\r\n"
                  "           Bytes Sent: 98765432100\r\n");
}

TEST(Reports, SocketListShowsBusySlots) {
    test::EngineFixture fx;
    fx.home.write("html/big.htm", std::string(5000, 'x'));
    Connection& cgi = fx.connect("10.1.2.3");
    cgi.state = kCgiWait;
    copy_text(cgi.path, sizeof cgi.path, "c:\\cgi-bin\\q.exe");
    Connection& send = fx.connect("192.168.100.200");
    send.state = kSend;
    send.bytes_sent = 1024;
    copy_text(send.file_name, sizeof send.file_name, "c:\\html\\big.htm");
    fx.shell.take();
    socket_list(*engine.table);
    EXPECT_EQ(fx.shell.take(),
              "\r\nSock # state [bytes sent/size] filename remotehost\r\n"
              "00) CGIw        10.1.2.3       0/      0 c:\\cgi-bin\\q.exe\r\n"
              "01) Send 192.168.100.200    1024/   5000 c:\\html\\big.htm\r\n"
              "\r\nThere are 30 idle sockets.\r\n\r\n");
}

// The gopher listener listens with lingering switched on, the HTTP one is only bound.
TEST(SocketInfo, ShowsTheListenersOptions) {
    test::CaptureShell shell;
    SocketApi& api = system_sockets();
    engine.gopher_listener = api.open_stream();
    engine.http_listener = api.open_stream();
    const Socket s1 = engine.gopher_listener;
    ASSERT_EQ(api.bind(s1, htonl(INADDR_LOOPBACK), 0), 0);
    ASSERT_EQ(api.listen(s1, 5), 0);
    for (linger value : {linger{1, 7}, linger{0, 7}}) {
        ASSERT_EQ(setsockopt(s1, SOL_SOCKET, SO_LINGER, &value, sizeof value), 0);
        socket_info();
        const std::string log = shell.take();
        const std::string options =
            "\r\n\r\ns1 SO_ACCEPTCONN  1\r\ns2 SO_ACCEPTCONN  0\r\ns1 SO_DONTLINGER  " +
            std::to_string(!value.l_onoff) + "\r\ns1 SO_LINGER.l_onoff  " +
            std::to_string(value.l_onoff) + "\r\ns1 SO_LINGER.l_linger  " +
            std::to_string(value.l_linger) + "\r\n\r\n";
        EXPECT_EQ(log.rfind("\r\nDescription = ", 0), 0u) << log;
        EXPECT_TRUE(log.ends_with(options)) << log;
    }
    api.close_socket(engine.gopher_listener);
    api.close_socket(engine.http_listener);
    engine.gopher_listener = engine.http_listener = kInvalidSocket;
}

}  // namespace
}  // namespace qxs
