// The socket layer's notifications on real loopback sockets: each one
// comes when it should, once, and never after the socket is closed.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_loop.h"

namespace qxs {
namespace {

struct Event {
    Socket socket;
    int event;
    int error;
};

class Notifications : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(api().startup(loop.uv(), on_event, this), 0);
        listener = api().open_stream();
        ASSERT_EQ(api().bind(listener, htonl(INADDR_LOOPBACK), 0), 0);
        ASSERT_EQ(api().listen(listener, 5), 0);
        socklen_t len = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &len);
        api().async_select(listener, FD_ACCEPT);
    }
    void TearDown() override {
        api().close_socket(listener);
        api().cleanup();
    }
    static SocketApi& api() { return system_sockets(); }
    static void on_event(void* context, Socket s, int event, int error) {
        static_cast<Notifications*>(context)->events.push_back({s, event, error});
    }
    void pump(int milliseconds = 100) {
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < until) {
            uv_run(loop.uv(), UV_RUN_NOWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    int count(Socket s, int event) const {
        int n = 0;
        for (const Event& e : events) n += (e.socket == s && e.event == event) ? 1 : 0;
        return n;
    }
    int client() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    }
    Socket accept_one(int events_wanted) {
        uint8_t peer[4] = {};
        uint16_t peer_port;
        Socket s = api().accept(listener, peer, &peer_port);
        EXPECT_EQ(peer[0], 127);
        if (events_wanted != 0) api().async_select(s, events_wanted);
        return s;
    }
    // A connection accepted after its notification, with every notification asked for.
    Socket accepted() {
        pump();
        return accept_one(FD_READ | FD_WRITE | FD_OOB | FD_CLOSE);
    }

    EventLoop loop;
    std::vector<Event> events;
    Socket listener = kInvalidSocket;
    sockaddr_in address{};
};

// Accept and read notifications come again only after an accept or a
// receive (no spinning on a socket nobody reads); urgent bytes stay in line;
// the close comes once, after the data, and a half-closed peer still reads.
TEST_F(Notifications, EachNotificationComesOnceUntilItsCallIsMade) {
    int peer = client();
    int other = client();
    pump();
    EXPECT_EQ(count(listener, FD_ACCEPT), 1);  // two waiting, one notification
    Socket s = accept_one(FD_READ | FD_WRITE | FD_OOB | FD_CLOSE);
    pump();
    EXPECT_EQ(count(listener, FD_ACCEPT), 2);
    EXPECT_EQ(count(s, FD_WRITE), 1);
    ::send(peer, "abc", 3, 0);
    pump();
    ::send(peer, "def", 3, 0);
    ::shutdown(peer, SHUT_WR);
    pump();
    EXPECT_EQ(count(s, FD_READ), 1);
    EXPECT_EQ(count(s, FD_CLOSE), 0);  // data first
    long available = 0;
    EXPECT_EQ(api().available(s, &available), 0);
    EXPECT_EQ(available, 6);
    char buffer[8];
    // flags, length asked, bytes got, read notifications so far
    const int reads[][4] = {{kRecvPeek, 2, 2, 2}, {kRecvOob, 2, 2, 3}, {0, 8, 4, 3}};
    for (const auto& [flags, length, got, notified] : reads) {
        EXPECT_EQ(api().recv(s, buffer, length, flags), got) << flags;
        pump();
        EXPECT_EQ(count(s, FD_READ), notified) << flags;
    }
    pump(100);
    EXPECT_EQ(count(s, FD_CLOSE), 1);
    EXPECT_EQ(events.back().error, 0);
    EXPECT_EQ(api().send(s, "answer", 6, 0), 6);
    EXPECT_EQ(::recv(peer, buffer, sizeof buffer, 0), 6);
    pump(100);
    EXPECT_EQ(count(s, FD_CLOSE), 1);
    // Nothing comes for a socket once it is closed.
    size_t before = events.size();
    ::send(other, "late", 4, 0);
    Socket second = accept_one(FD_READ | FD_CLOSE);
    api().close_socket(second);
    api().close_socket(s);
    ::close(other);
    ::close(peer);
    pump(200);
    for (size_t i = before; i < events.size(); ++i)
        EXPECT_TRUE(events[i].socket != s && events[i].socket != second);
    // A reset is reported as such.
    int hard = client();
    Socket reset = accept_one(FD_READ | FD_CLOSE);
    const linger abort{1, 0};
    setsockopt(hard, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(hard);
    pump(100);
    ASSERT_FALSE(events.empty());  // the number may be one closed above: the last event counts
    EXPECT_EQ(events.back().socket, reset);
    EXPECT_EQ(events.back().event, FD_CLOSE);
    EXPECT_EQ(events.back().error, 10054);
    api().close_socket(reset);
}

TEST_F(Notifications, WriteIsPostedWhenAFullSocketDrains) {
    int peer = client();
    Socket s = accepted();
    pump();
    int writes = count(s, FD_WRITE);
    std::vector<char> block(65536, 'w');
    while (api().send(s, block.data(), static_cast<int>(block.size()), 0) > 0) {
    }
    EXPECT_EQ(api().last_error(), 10035);
    pump();
    EXPECT_EQ(count(s, FD_WRITE), writes);
    for (int i = 0; i < 200 && ::recv(peer, block.data(), block.size(), MSG_DONTWAIT) > 0; ++i) {
    }
    pump();
    EXPECT_EQ(count(s, FD_WRITE), writes + 1);
    api().close_socket(s);
    ::close(peer);
}

// Bytes sent with kSendMore may wait in the socket, but never past the next
// plain send or the close.
TEST_F(Notifications, BytesSentWithMoreLeaveWithTheNextSendOrTheClose) {
    int peer = client();
    Socket s = accepted();
    EXPECT_EQ(api().send(s, "head,", 5, kSendMore), 5);
    EXPECT_EQ(api().send(s, "body,", 5, 0), 5);
    EXPECT_EQ(api().send(s, "tail", 4, kSendMore), 4);
    api().close_socket(s);
    std::string received;
    char buffer[64];
    ssize_t n;
    while ((n = ::recv(peer, buffer, sizeof buffer, 0)) > 0) received.append(buffer, n);
    EXPECT_EQ(n, 0);  // the close's FIN follows the bytes
    EXPECT_EQ(received, "head,body,tail");
    ::close(peer);
}

}  // namespace
}  // namespace qxs
