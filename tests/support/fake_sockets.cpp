#include "support/fake_sockets.h"

#include <cstring>

namespace qxs::test {

Socket FakeSockets::open_connection() {
    return next_++;
}

int FakeSockets::local_address(Socket, uint8_t address[4]) {
    const uint8_t loopback[4] = {127, 0, 0, 1};
    std::memcpy(address, loopback, 4);
    return 0;
}

Socket FakeSockets::accept(Socket, uint8_t address[4], uint16_t* port_be) {
    local_address(0, address);
    *port_be = 0x3930;
    return open_connection();
}

int FakeSockets::available(Socket s, long* count) {
    *count = static_cast<long>(input_[s].size());
    return 0;
}

int FakeSockets::recv(Socket s, char* buffer, int len, int flags) {
    std::string& pending = input_[s];
    size_t n =
        pending.size() < static_cast<size_t>(len) ? pending.size() : static_cast<size_t>(len);
    if (n == 0) {
        last_error_ = WSAEWOULDBLOCK_VALUE;
        return kSocketError;
    }
    std::memcpy(buffer, pending.data(), n);
    if (!(flags & kRecvPeek)) pending.erase(0, n);
    return static_cast<int>(n);
}

int FakeSockets::send(Socket s, const char* buffer, int len, int flags) {
    ++send_calls;
    send_flags.push_back(flags);
    if (closed(s)) {
        last_error_ = 10038;  // WSAENOTSOCK
        return kSocketError;
    }
    if (failing_sends > 0) {
        --failing_sends;
        last_error_ = send_error;
        return kSocketError;
    }
    int n = len;
    if (send_limit > 0 && n > send_limit) n = send_limit;
    sent_[s].append(buffer, static_cast<size_t>(n));
    return n;
}

int FakeSockets::close_socket(Socket s) {
    ++closes_[s];
    return 0;
}

int FakeSockets::get_option(Socket, SocketOption, int* value) {
    *value = 1;
    return 0;
}

int FakeSockets::get_linger(Socket, uint16_t* onoff, uint16_t* seconds) {
    *onoff = 0;
    *seconds = 0;
    return 0;
}

}  // namespace qxs::test
