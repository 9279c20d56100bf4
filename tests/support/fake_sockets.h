// A socket layer for unit tests: nothing touches the network. Sends are
// recorded per socket, received bytes come from what the test queued, and
// failures can be injected (a send that comes back short or fails).
#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/sockets.h"

namespace qxs::test {

class FakeSockets final : public SocketApi {
public:
    static constexpr int kWouldBlock = 10035;

    FakeSockets() { previous_ = set_sockets(this); }
    ~FakeSockets() override { set_sockets(previous_); }

    // A new connected socket number, as accept would give.
    Socket open_connection() { return next_++; }
    // Bytes the peer sends.
    void queue_input(Socket s, const std::string& bytes) { input_[s] += bytes; }
    // Everything sent on the socket so far.
    const std::string& sent(Socket s) { return sent_[s]; }
    bool closed(Socket s) const { return closes(s) != 0; }
    int closes(Socket s) const { return closes_.contains(s) ? closes_.at(s) : 0; }

    // Failure injection, applied to the next sends of any socket: each send
    // takes at most send_limit bytes (0: no limit), and this many sends
    // fail with send_error first.
    int send_limit = 0;
    int failing_sends = 0;
    int send_error = kWouldBlock;
    // The flags of every send call made.
    std::vector<int> send_flags;

    int startup(uv_loop_t*, NotifyHandler, void*) override { return 0; }
    void cleanup() override {}
    const SocketLibraryInfo& library_info() const override { return info_; }
    int last_error() const override { return last_error_; }
    Socket open_stream() override { return open_connection(); }
    int bind(Socket, uint32_t, uint16_t) override { return 0; }
    int listen(Socket, int) override { return 0; }
    int local_address(Socket, uint8_t address[4]) override {
        const uint8_t loopback[4] = {127, 0, 0, 1};
        std::memcpy(address, loopback, 4);
        return 0;
    }
    Socket accept(Socket, uint8_t address[4], uint16_t* port_be) override {
        local_address(0, address);
        *port_be = 0x3930;
        return open_connection();
    }
    int async_select(Socket, int) override { return 0; }
    int available(Socket s, long* count) override {
        *count = static_cast<long>(input_[s].size());
        return 0;
    }
    int recv(Socket s, char* buffer, int len, int flags) override {
        std::string& pending = input_[s];
        size_t n = std::min(pending.size(), static_cast<size_t>(len));
        if (n == 0) return fail(kWouldBlock);
        std::memcpy(buffer, pending.data(), n);
        if (!(flags & kRecvPeek)) pending.erase(0, n);
        return static_cast<int>(n);
    }
    int send(Socket s, const char* buffer, int len, int flags) override {
        send_flags.push_back(flags);
        if (closed(s)) return fail(10038);  // WSAENOTSOCK
        if (failing_sends > 0) {
            --failing_sends;
            return fail(send_error);
        }
        int n = send_limit > 0 ? std::min(len, send_limit) : len;
        sent_[s].append(buffer, static_cast<size_t>(n));
        return n;
    }
    int close_socket(Socket s) override {
        ++closes_[s];
        return 0;
    }
    int get_option(Socket, SocketOption, int* value) override {
        *value = 1;
        return 0;
    }
    int get_linger(Socket, uint16_t* onoff, uint16_t* seconds) override {
        *onoff = *seconds = 0;
        return 0;
    }

private:
    int fail(int error) {
        last_error_ = error;
        return kSocketError;
    }

    SocketApi* previous_ = nullptr;
    Socket next_ = 100;
    int last_error_ = 0;
    std::map<Socket, std::string> input_;
    std::map<Socket, std::string> sent_;
    std::map<Socket, int> closes_;
    SocketLibraryInfo info_{};
};

}  // namespace qxs::test
