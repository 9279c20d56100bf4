// A socket layer for unit tests: nothing touches the network. Sends are
// recorded per socket, received bytes come from what the test queued, and
// failures can be injected (a send that comes back short or would block, a
// reset).
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sockets.h"

namespace qxs::test {

class FakeSockets final : public SocketApi {
public:
    FakeSockets() { previous_ = set_sockets(this); }
    ~FakeSockets() override { set_sockets(previous_); }

    // A new connected socket number, as accept would give.
    Socket open_connection();
    // Bytes the peer sends.
    void queue_input(Socket s, const std::string& bytes) { input_[s] += bytes; }
    // Everything sent on the socket so far.
    const std::string& sent(Socket s) { return sent_[s]; }
    bool closed(Socket s) const { return closes(s) != 0; }
    int closes(Socket s) const {
        auto it = closes_.find(s);
        return it == closes_.end() ? 0 : it->second;
    }

    // Failure injection, applied to the next sends of any socket:
    // each send takes at most this many bytes (0: no limit) ...
    int send_limit = 0;
    // ... and this many sends fail with send_error first.
    int failing_sends = 0;
    int send_error = WSAEWOULDBLOCK_VALUE;
    // Number of send calls made, and the flags of each.
    int send_calls = 0;
    std::vector<int> send_flags;

    int startup(uv_loop_t*, NotifyHandler, void*) override { return 0; }
    void cleanup() override {}
    const SocketLibraryInfo& library_info() const override { return info_; }
    int last_error() const override { return last_error_; }
    Socket open_stream() override { return open_connection(); }
    int bind(Socket, uint32_t, uint16_t) override { return 0; }
    int listen(Socket, int) override { return 0; }
    int local_address(Socket, uint8_t address[4]) override;
    Socket accept(Socket, uint8_t address[4], uint16_t* port_be) override;
    int async_select(Socket, int) override { return 0; }
    int available(Socket s, long* count) override;
    int recv(Socket s, char* buffer, int len, int flags) override;
    int send(Socket s, const char* buffer, int len, int flags) override;
    int close_socket(Socket s) override;
    int get_option(Socket, SocketOption, int* value) override;
    int get_linger(Socket, uint16_t* onoff, uint16_t* seconds) override;

    static constexpr int WSAEWOULDBLOCK_VALUE = 10035;

private:
    SocketApi* previous_ = nullptr;
    Socket next_ = 100;
    int last_error_ = 0;
    std::map<Socket, std::string> input_;
    std::map<Socket, std::string> sent_;
    std::map<Socket, int> closes_;
    SocketLibraryInfo info_{};
};

}  // namespace qxs::test
