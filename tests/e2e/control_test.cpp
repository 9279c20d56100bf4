// The control socket and qxsctl against the real server.
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

// One client of the control socket (answers awaited up to 5 seconds).
class ControlClient {
public:
    explicit ControlClient(const std::string& path)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{AF_UNIX, {}};
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~ControlClient() { ::close(fd_); }

    bool send(const std::string& lines) {
        return ::send(fd_, lines.data(), lines.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(lines.size());
    }
    // The next line without its LF; "(closed)" at the end, "(nothing)" when
    // none came in time.
    std::string line() {
        std::string text;
        char c = 0;
        ssize_t n;
        while ((n = ::recv(fd_, &c, 1, 0)) == 1 && c != '\n') text += c;
        return n == 1 ? text : n == 0 ? "(closed)" : "(nothing)";
    }
    bool nothing_waiting() {
        char c;
        return ::recv(fd_, &c, 1, MSG_DONTWAIT | MSG_PEEK) < 0 && errno == EAGAIN;
    }
    bool open(const std::string& initiate = "INITIATE QXS\n") {
        return send(initiate) && line() == "ACK QXS test";
    }

private:
    int fd_;
};

std::string socket_of(ServerProcess& server) {
    return server.home().file("qxserver.ctl");
}

CommandResult qxsctl(ServerProcess& server, const std::string& arguments) {
    return run_command(std::string(QXSCTL_BINARY) + " --home " + server.home().path() + " " +
                       arguments + " 2>&1");
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
    return n;
}

// Ten conversations at most, each served while the others are open; a long
// line is cut without spilling into the next; at shutdown every open
// conversation gets a TERMINATE and the socket file goes.
TEST(ControlE2E, ConversationsAtOnceTenAtMostAndTerminatedAtShutdown) {
    ServerProcess server;
    server.write_settings();
    ASSERT_TRUE(server.start());
    struct stat st {};
    ASSERT_EQ(::lstat(socket_of(server).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::vector<std::unique_ptr<ControlClient>> clients;
    for (int i = 0; i < 10; ++i) {
        clients.push_back(std::make_unique<ControlClient>(socket_of(server)));
        ASSERT_TRUE(clients.back()->open(i == 0 ? "INITIATE\n" : "initiate qxs test\r\n")) << i;
    }
    ControlClient& a = *clients[0];
    ControlClient& b = *clients[1];
    ASSERT_TRUE(b.send("EXECUTE from b\n"));
    ASSERT_TRUE(a.send("EXECUTE from a\n"));
    EXPECT_EQ(a.line(), "ACK EXECUTE accepted");
    EXPECT_EQ(b.line(), "ACK EXECUTE accepted");

    ControlClient eleventh(socket_of(server));
    ASSERT_TRUE(eleventh.send("INITIATE QXS\n"));
    for (int i = 0; i < 500 && count(server.screen_log(), "DDE connect\r\n") < 11; ++i)
        usleep(10000);
    ASSERT_EQ(count(server.screen_log(), "DDE connect\r\n"), 11u);
    // Once a's later command has run, the eleventh's request has been
    // handled (one thread): it was not answered.
    ASSERT_TRUE(a.send("EXECUTE " + std::string(5000, 'x') + "\nEXECUTE marker\n"));
    EXPECT_EQ(a.line(), "ACK EXECUTE accepted");
    EXPECT_EQ(a.line(), "ACK EXECUTE accepted");
    ASSERT_TRUE(server.wait_for_log("[Server Received Execute Command] marker\r\n"));
    EXPECT_TRUE(eleventh.nothing_waiting());

    ASSERT_TRUE(clients[9]->send("TERMINATE\n"));
    EXPECT_EQ(clients[9]->line(), "TERMINATE");
    EXPECT_EQ(clients[9]->line(), "(closed)");
    clients.pop_back();
    EXPECT_TRUE(eleventh.open());  // a place is free again

    EXPECT_EQ(server.stop(), 0);
    for (ControlClient* c : {&a, &b, &eleventh}) {
        EXPECT_EQ(c->line(), "TERMINATE");
        EXPECT_EQ(c->line(), "(closed)");
    }
    std::string log = server.screen_log();
    EXPECT_NE(log.find("[Server Received Execute Command] from b\r\n"), std::string::npos);
    EXPECT_NE(log.find("[Server Received Execute Command] " + std::string(100, 'x') + "\r\n"),
              std::string::npos);
    EXPECT_FALSE(TempDir::exists(socket_of(server)));
    EXPECT_EQ(server.standard_error(), "");
}

// The commands through qxsctl: pause and resume, the log cycle, commands the
// server does not know, settings edited and read again.
TEST(ControlE2E, QxsctlCommandsAndSettings) {
    ServerProcess server;
    server.write_settings();
    server.home().write("html/a.txt", "served\r\n");
    ASSERT_TRUE(server.start());
    const std::string get = "GET /a.txt HTTP/1.0\r\n\r\n";

    CommandResult r = qxsctl(server, "send pause");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "pause: accepted\n");
    EXPECT_NE(exchange(server.http_port(), get).find("temporarily paused for maintenance"),
              std::string::npos);
    EXPECT_EQ(qxsctl(server, "send resume").status, 0);
    EXPECT_NE(exchange(server.http_port(), get).find("served"), std::string::npos);

    EXPECT_EQ(qxsctl(server, "send cyclelogs").status, 0);
    EXPECT_NE(TempDir::read(server.home().file("logs/qxs-001.log")).find("GET /a.txt"),
              std::string::npos);

    std::string long_command(150, 'y');
    r = qxsctl(server, "send CycleLogs " + long_command);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "CycleLogs: accepted\n" + long_command + ": accepted\n");
    ASSERT_TRUE(
        server.wait_for_log("[Server Received Execute Command] " + std::string(100, 'y') + "\r\n"));
    std::string log = server.screen_log();
    EXPECT_NE(log.find("[Server Received Execute Command] CycleLogs\r\n"), std::string::npos);
    EXPECT_EQ(count(log, "CycleLogs - Finish"), 1u);

    // view_files adds the file name to the request line on the screen log.
    r = qxsctl(server, "set Options view_files 1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(qxsctl(server, "get options VIEW_FILES").output, "1\n");
    exchange(server.http_port(), get);
    EXPECT_EQ(server.screen_log().find(" --> '"), std::string::npos);
    EXPECT_EQ(qxsctl(server, "send reloadini").output, "reloadini: accepted\n");
    exchange(server.http_port(), get);
    EXPECT_TRUE(server.wait_for_log(" --> '"));
    log = server.screen_log();
    for (const char* line :
         {"DDE -- Pause\r\n\r\n*** SERVER PAUSED", "DDE -- Resume\r\n\r\n***",
          "DDE -- CycleLogs\r\n\r\nCycleLogs - Cycling", "DDE -- ReloadINI\r\nFreeing old INI"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }

    EXPECT_EQ(server.stop(), 0);
    r = qxsctl(server, "send pause");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("no server is running"), std::string::npos) << r.output;
}

// SIGUSR1 starts a new access log, SIGHUP reads the settings again.
TEST(ControlE2E, Signals) {
    ServerProcess server;
    server.write_settings();
    ASSERT_TRUE(server.start());
    ::kill(server.pid(), SIGUSR1);
    EXPECT_TRUE(server.wait_for_log("SIGUSR1 -- CycleLogs\r\n\r\nCycleLogs - Cycling"));
    ::kill(server.pid(), SIGHUP);
    EXPECT_TRUE(
        server.wait_for_log("SIGHUP -- ReloadINI\r\nFreeing old INI information...\r\n"
                            "Reading ini file...\r\n"));
    EXPECT_EQ(server.stop(), 0);
}

// A live server's socket is left to it; a dead server's is replaced.
TEST(ControlE2E, SocketFileLeftByOthers) {
    ServerProcess first;
    first.write_settings();
    ASSERT_TRUE(first.start());
    ServerProcess second;
    second.write_settings();
    ASSERT_TRUE(second.start({"--control", socket_of(first)}));
    EXPECT_TRUE(second.wait_for_log("Control socket " + socket_of(first) +
                                    " belongs to a running server.\r\n"))
        << second.screen_log();
    EXPECT_EQ(second.stop(), 0);
    ControlClient still_first(socket_of(first));
    EXPECT_TRUE(still_first.open());
    EXPECT_EQ(first.stop(), 0);
    EXPECT_EQ(still_first.line(), "TERMINATE");

    // A socket nobody listens on any more.
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socket_of(first).copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(first.start());
    EXPECT_EQ(qxsctl(first, "send").status, 0);
    EXPECT_EQ(first.stop(), 0);
}

TEST(ControlE2E, QxsctlUsage) {
    ServerProcess server;  // never started
    struct Case {
        const char* arguments;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"--help", 0, "Usage: qxsctl"},
        {"", 2, "say send, get or set"},
        {"--port 1 send", 2, "unknown option '--port'"},
        {"get Options", 2, "get needs SECTION KEY"},
        {"set Options 'k=v' 1", 2, "KEY cannot hold '='"},
        {"get Options nothing", 1, "no nothing in [Options]"},
    };
    server.write_settings();
    for (const Case& c : cases) {
        CommandResult r = qxsctl(server, c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.arguments << "\n" << r.output;
    }
}

}  // namespace
}  // namespace qxs::test
