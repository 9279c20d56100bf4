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

// One client of the control socket, reading answers a line at a time.
class ControlClient {
public:
    explicit ControlClient(const std::string& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ControlClient() {
        if (fd_ >= 0) ::close(fd_);
    }

    bool send(const std::string& lines) {
        return fd_ >= 0 && ::send(fd_, lines.data(), lines.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(lines.size());
    }
    // The next line without its LF; "(closed)" or "(nothing)" when none came.
    std::string line() {
        for (;;) {
            size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            char buffer[256];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0) return "(closed)";
            if (n < 0) return "(nothing)";
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }
    // True when no answer is waiting right now.
    bool nothing_waiting() {
        char c;
        return pending_.empty() && ::recv(fd_, &c, 1, MSG_DONTWAIT | MSG_PEEK) < 0 &&
               errno == EAGAIN;
    }
    bool open(const std::string& initiate = "INITIATE QXS\n") {
        return send(initiate) && line() == "ACK QXS test";
    }

private:
    int fd_ = -1;
    std::string pending_;
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

bool wait_for_count(ServerProcess& server, const std::string& part, size_t n) {
    for (int i = 0; i < 500; ++i) {
        if (count(server.screen_log(), part) >= n) return true;
        usleep(10000);
    }
    return false;
}

// Ten conversations at most, each served while the others are open; a long
// line is cut without spilling into the next; at shutdown each open
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
    ASSERT_TRUE(wait_for_count(server, "DDE connect\r\n", 11));
    // Once a's later command has run, the eleventh's request has been
    // handled (one thread): it was not answered.
    ASSERT_TRUE(a.send("EXECUTE " + std::string(5000, 'x') + "\nEXECUTE marker\n"));
    EXPECT_EQ(a.line(), "ACK EXECUTE accepted");
    EXPECT_EQ(a.line(), "ACK EXECUTE accepted");
    ASSERT_TRUE(server.wait_for_log("[Server Received Execute Command] marker\r\n"));
    EXPECT_TRUE(eleventh.nothing_waiting());

    for (size_t i = 2; i < clients.size(); ++i) {
        ASSERT_TRUE(clients[i]->send("TERMINATE\n"));
        EXPECT_EQ(clients[i]->line(), "TERMINATE");
        EXPECT_EQ(clients[i]->line(), "(closed)");
    }
    EXPECT_TRUE(eleventh.open());  // a place is free again
    ASSERT_TRUE(eleventh.send("TERMINATE\n"));
    EXPECT_EQ(eleventh.line(), "TERMINATE");

    EXPECT_EQ(server.stop(), 0);
    for (ControlClient* c : {&a, &b}) {
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
    EXPECT_NE(log.find("DDE -- Pause\r\n\r\n*** SERVER PAUSED - Refusing connections\r\n"),
              std::string::npos);
    EXPECT_NE(log.find("[Server Received Execute Command] CycleLogs\r\n"), std::string::npos);
    EXPECT_EQ(count(log, "CycleLogs - Finish"), 1u);
    EXPECT_FALSE(TempDir::exists(server.home().file("logs/qxs-002.log")));

    // view_files adds the file name to the request line on the screen log.
    r = qxsctl(server, "set Options view_files 1");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(qxsctl(server, "get options VIEW_FILES").output, "1\n");
    exchange(server.http_port(), get);
    EXPECT_EQ(server.screen_log().find(" --> '"), std::string::npos);
    EXPECT_EQ(qxsctl(server, "send reloadini").output, "reloadini: accepted\n");
    exchange(server.http_port(), get);
    EXPECT_TRUE(server.wait_for_log(" --> '"));

    EXPECT_EQ(server.stop(), 0);
    r = qxsctl(server, "send pause");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("no server is running"), std::string::npos) << r.output;
}

// SIGHUP reads the settings again, SIGUSR1 starts a new access log.
TEST(ControlE2E, HangupReloadsAndUser1CyclesTheLogs) {
    ServerProcess server;
    server.write_settings();
    server.home().write("html/a.txt", "served\r\n");
    ASSERT_TRUE(server.start());
    exchange(server.http_port(), "GET /a.txt HTTP/1.0\r\n\r\n");
    ::kill(server.pid(), SIGUSR1);
    ASSERT_TRUE(server.wait_for_log("SIGUSR1 -- CycleLogs\r\n"));
    ASSERT_TRUE(server.wait_for_log("CycleLogs - Finish\r\n"));
    EXPECT_NE(TempDir::read(server.home().file("logs/qxs-001.log")).find("GET /a.txt"),
              std::string::npos);
    ::kill(server.pid(), SIGHUP);
    ASSERT_TRUE(server.wait_for_log("SIGHUP -- ReloadINI\r\nFreeing old INI information...\r\n"));
    EXPECT_TRUE(server.wait_for_log("Reading ini file...\r\n"));
    EXPECT_EQ(count(server.screen_log(), "Reading ini file...\r\n"), 2u);
    EXPECT_EQ(server.stop(), 0);
}

// What is already at the socket's name: a live server's socket is left to
// it, a dead server's is replaced, any other file is left alone.
TEST(ControlE2E, SocketFileLeftByOthers) {
    ServerProcess first;
    first.write_settings();
    ASSERT_TRUE(first.start());
    ServerProcess second;
    second.write_settings();
    ASSERT_TRUE(second.start({"--control", socket_of(first)}));
    EXPECT_NE(second.screen_log().find("Control socket " + socket_of(first) +
                                       " belongs to a running server.\r\n"),
              std::string::npos)
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

    first.home().write("qxserver.ctl", "a file of the user's");
    ASSERT_TRUE(first.start());
    EXPECT_NE(first.screen_log().find("another kind of file is there"), std::string::npos);
    EXPECT_EQ(first.stop(), 0);
    EXPECT_EQ(TempDir::read(socket_of(first)), "a file of the user's");
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
        {"frob", 2, "unknown command 'frob'"},
        {"--port 1 send", 2, "unknown option '--port'"},
        {"--timeout x send", 2, "--timeout needs"},
        {"get Options", 2, "get needs SECTION KEY"},
        {"set 'Op]t' k v", 2, "SECTION cannot hold ']'"},
        {"set Options 'k=v' 1", 2, "KEY cannot hold '='"},
        {"get Options httpport", 0, ""},
        {"get Options nothing", 1, "no nothing in [Options]"},
        {"send pause", 1, "no server is running"},
        {"--control /nonexistent/dir/x.ctl send", 1, "no server is running"},
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
