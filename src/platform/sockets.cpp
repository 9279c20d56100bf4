#include "platform/sockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/winsock_errors.h"

namespace qxs {
namespace {

// Sockets are kept in an epoll set of our own, armed one-shot, which the
// libuv loop watches as a single descriptor. libuv's own poll watchers report
// level readiness and want a handle per socket whose memory outlives an
// asynchronous close; one-shot arming instead gives exact control over when
// each notification is enabled again, which is what the rules above need.
struct Watch {
    uint32_t generation = 0;
    int wanted = 0;  // FD_* bits asked for
    bool registered = false;
    bool enabled = false;  // armed in the kernel and not yet fired
    uint32_t armed_events = 0;
    bool read_armed = false;
    bool write_armed = false;
    bool oob_armed = false;
    bool accept_armed = false;
    bool close_posted = false;
    bool peer_closed = false;  // orderly close seen: reading has ended
    bool dead = false;         // reset or error: nothing more can happen
};

class SystemSockets final : public SocketApi {
public:
    int startup(uv_loop_t* loop, NotifyHandler handler, void* context) override;
    void cleanup() override;
    const SocketLibraryInfo& library_info() const override { return info_; }
    int last_error() const override { return last_error_; }

    Socket open_stream() override;
    int bind(Socket s, uint32_t address_be, uint16_t port) override;
    int listen(Socket s, int backlog) override;
    int local_address(Socket s, uint8_t address[4]) override;
    Socket accept(Socket listener, uint8_t address[4], uint16_t* port_be) override;
    int async_select(Socket s, int events) override;
    int available(Socket s, long* count) override;
    int recv(Socket s, char* buffer, int len, int flags) override;
    int send(Socket s, const char* buffer, int len, int flags) override;
    int close_socket(Socket s) override;
    int get_option(Socket s, SocketOption option, int* value) override;
    int get_linger(Socket s, uint16_t* onoff, uint16_t* seconds) override;

private:
    int fail() {
        last_error_ = wsa_error_from_errno(errno);
        return kSocketError;
    }
    Watch* watch_of(Socket s);
    void arm(Socket s, Watch& w);
    void dispatch(const epoll_event& event);
    bool post(Socket s, uint32_t generation, int event, int error);
    static void on_ready(uv_poll_t* handle, int status, int events);

    int last_error_ = 0;
    int epoll_fd_ = -1;
    uv_poll_t poll_{};
    bool poll_started_ = false;
    NotifyHandler handler_ = nullptr;
    void* context_ = nullptr;
    std::vector<Watch> watches_;  // indexed by descriptor
    SocketLibraryInfo info_{};
};

int SystemSockets::startup(uv_loop_t* loop, NotifyHandler handler, void* context) {
    if (epoll_fd_ >= 0) return 0;
    epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
    if (epoll_fd_ < 0) return WSASYSNOTREADY;
    if (uv_poll_init(loop, &poll_, epoll_fd_) != 0) {
        ::close(epoll_fd_);
        epoll_fd_ = -1;
        return WSASYSNOTREADY;
    }
    poll_.data = this;
    uv_poll_start(&poll_, UV_READABLE, on_ready);
    poll_started_ = true;
    handler_ = handler;
    context_ = context;

    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    std::snprintf(info_.description, sizeof info_.description, "QXServer sockets on Linux (epoll)");
    std::snprintf(info_.system_status, sizeof info_.system_status, "Running");
    info_.version = 0x0101;
    info_.high_version = 0x0101;
    info_.vendor_info[0] = '\0';
    info_.max_sockets = limit.rlim_cur > 32767 ? 32767 : static_cast<int>(limit.rlim_cur);
    return 0;
}

void SystemSockets::cleanup() {
    if (epoll_fd_ < 0) return;
    if (poll_started_) {
        uv_poll_stop(&poll_);
        uv_close(reinterpret_cast<uv_handle_t*>(&poll_), nullptr);
        poll_started_ = false;
    }
    ::close(epoll_fd_);
    epoll_fd_ = -1;
    for (Watch& w : watches_) {
        w.registered = false;
        w.enabled = false;
        w.wanted = 0;
        ++w.generation;
    }
    handler_ = nullptr;
}

Socket SystemSockets::open_stream() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        fail();
        return kInvalidSocket;
    }
    return fd;
}

int SystemSockets::bind(Socket s, uint32_t address_be, uint16_t port) {
    // Lets a restarted server bind while old connections linger in TIME_WAIT;
    // a port another program listens on still refuses the bind.
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = address_be;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return fail();
    return 0;
}

int SystemSockets::listen(Socket s, int) {
    // Accepted sockets inherit these: urgent bytes stay in the data stream
    // (see recv), and a header sent at once is not held back waiting for the
    // acknowledgement of the one before.
    int on = 1;
    setsockopt(s, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on);
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // WinSock 1.1 allowed at most 5 waiting connections; a burst of clients
    // should not be left retrying their SYNs, so take what the system allows.
    if (::listen(s, SOMAXCONN) != 0) return fail();
    return 0;
}

int SystemSockets::local_address(Socket s, uint8_t address[4]) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return fail();
    std::memcpy(address, &addr.sin_addr.s_addr, 4);
    return 0;
}

Socket SystemSockets::accept(Socket listener, uint8_t address[4], uint16_t* port_be) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    int fd =
        ::accept4(listener, reinterpret_cast<sockaddr*>(&addr), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    int saved = errno;
    if (Watch* w = watch_of(listener); w != nullptr && (w->wanted & FD_ACCEPT)) {
        w->accept_armed = true;
        arm(listener, *w);
    }
    if (fd < 0) {
        errno = saved;
        fail();
        return kInvalidSocket;
    }
    std::memcpy(address, &addr.sin_addr.s_addr, 4);
    *port_be = addr.sin_port;
    return fd;
}

Watch* SystemSockets::watch_of(Socket s) {
    if (s < 0 || static_cast<size_t>(s) >= watches_.size()) return nullptr;
    return &watches_[static_cast<size_t>(s)];
}

int SystemSockets::async_select(Socket s, int events) {
    if (epoll_fd_ < 0) {
        last_error_ = WSAEINVAL;
        return kSocketError;
    }
    if (s < 0) {
        last_error_ = WSAENOTSOCK;
        return kSocketError;
    }
    if (static_cast<size_t>(s) >= watches_.size()) watches_.resize(static_cast<size_t>(s) + 16);
    Watch& w = watches_[static_cast<size_t>(s)];
    if (events == 0) {
        // The kernel entry stays (a close removes it without a system call);
        // a new generation makes anything it still reports stale.
        bool registered = w.registered;
        uint32_t generation = w.generation + 1;
        w = Watch{};
        w.generation = generation;
        w.registered = registered;
        return 0;
    }
    w.wanted = events;
    w.read_armed = (events & FD_READ) != 0 && !w.peer_closed;
    w.oob_armed = (events & FD_OOB) != 0 && !w.peer_closed;
    w.accept_armed = (events & FD_ACCEPT) != 0;
    // As WinSock does, a first FD_WRITE tells that the socket can take data.
    w.write_armed = (events & FD_WRITE) != 0;
    arm(s, w);
    return 0;
}

void SystemSockets::arm(Socket s, Watch& w) {
    if (epoll_fd_ < 0 || w.dead) return;
    uint32_t events = 0;
    if (w.read_armed || w.accept_armed) events |= EPOLLIN;
    if (w.read_armed && (w.wanted & FD_CLOSE) && !w.close_posted) events |= EPOLLRDHUP;
    if (w.oob_armed) events |= EPOLLPRI;
    if (w.write_armed) events |= EPOLLOUT;
    // With nothing wanted the entry stays disabled: re-arming it with an
    // empty mask would still report hang-ups, again and again.
    if (events == 0) return;
    if (w.enabled && w.armed_events == events) return;
    epoll_event ev{};
    ev.events = events | EPOLLONESHOT;
    ev.data.u64 = (static_cast<uint64_t>(w.generation) << 32) | static_cast<uint32_t>(s);
    int op = w.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (epoll_ctl(epoll_fd_, op, s, &ev) == 0) {
        w.registered = true;
        w.enabled = true;
        w.armed_events = events;
    }
}

int SystemSockets::available(Socket s, long* count) {
    int n = 0;
    if (ioctl(s, FIONREAD, &n) != 0) return fail();
    *count = n;
    return 0;
}

int SystemSockets::recv(Socket s, char* buffer, int len, int flags) {
    int sys_flags = (flags & kRecvPeek) ? MSG_PEEK : 0;
    ssize_t n = ::recv(s, buffer, static_cast<size_t>(len < 0 ? 0 : len), sys_flags);
    int saved = errno;
    if (Watch* w = watch_of(s); w != nullptr && w->registered && !w->peer_closed) {
        w->read_armed = (w->wanted & FD_READ) != 0;
        w->oob_armed = (w->wanted & FD_OOB) != 0 && n > 0;
        arm(s, *w);
    }
    if (n < 0) {
        errno = saved;
        return fail();
    }
    return static_cast<int>(n);
}

int SystemSockets::send(Socket s, const char* buffer, int len, int flags) {
    int sys_flags = MSG_NOSIGNAL | ((flags & kSendMore) ? MSG_MORE : 0);
    ssize_t n = ::send(s, buffer, static_cast<size_t>(len < 0 ? 0 : len), sys_flags);
    if (n >= 0) return static_cast<int>(n);
    int saved = errno;
    if (saved == EAGAIN || saved == EWOULDBLOCK) {
        if (Watch* w = watch_of(s); w != nullptr && w->registered && (w->wanted & FD_WRITE)) {
            w->write_armed = true;
            arm(s, *w);
        }
    }
    errno = saved;
    return fail();
}

int SystemSockets::close_socket(Socket s) {
    // Closing the descriptor also takes it out of the epoll set.
    if (Watch* w = watch_of(s); w != nullptr) {
        uint32_t generation = w->generation + 1;
        *w = Watch{};
        w->generation = generation;
    }
    if (::close(s) != 0) return fail();
    return 0;
}

int SystemSockets::get_option(Socket s, SocketOption option, int* value) {
    if (option == SocketOption::kDontLinger) {
        last_error_ = WSAENOPROTOOPT;
        return kSocketError;
    }
    socklen_t len = sizeof *value;
    if (getsockopt(s, SOL_SOCKET, SO_ACCEPTCONN, value, &len) != 0) return fail();
    return 0;
}

int SystemSockets::get_linger(Socket s, uint16_t* onoff, uint16_t* seconds) {
    linger value{};
    socklen_t len = sizeof value;
    if (getsockopt(s, SOL_SOCKET, SO_LINGER, &value, &len) != 0) return fail();
    *onoff = static_cast<uint16_t>(value.l_onoff);
    *seconds = static_cast<uint16_t>(value.l_linger);
    return 0;
}

void SystemSockets::on_ready(uv_poll_t* handle, int status, int) {
    auto* self = static_cast<SystemSockets*>(handle->data);
    if (status < 0) return;
    epoll_event events[64];
    int n = epoll_wait(self->epoll_fd_, events, 64, 0);
    for (int i = 0; i < n && self->epoll_fd_ >= 0; ++i) self->dispatch(events[i]);
}

// Delivers one notification; false when the handler closed or re-registered
// the socket, so that nothing more of this readiness report is delivered.
bool SystemSockets::post(Socket s, uint32_t generation, int event, int error) {
    if (handler_ != nullptr) handler_(context_, s, event, error);
    Watch* w = watch_of(s);
    return w != nullptr && w->generation == generation && epoll_fd_ >= 0;
}

void SystemSockets::dispatch(const epoll_event& event) {
    const Socket s = static_cast<Socket>(event.data.u64 & 0xffffffffu);
    const uint32_t generation = static_cast<uint32_t>(event.data.u64 >> 32);
    Watch* w = watch_of(s);
    if (w == nullptr || w->generation != generation || !w->registered) return;
    w->enabled = false;  // one-shot: fired
    const uint32_t ready = event.events;
    // The write readiness is taken before any handler runs: a send that
    // would block there arms it again, and no stale arming is left to undo.
    const bool write_ready = (ready & EPOLLOUT) && w->write_armed;
    if (write_ready) w->write_armed = false;
    // A handler may register other sockets and so move the watch table:
    // the watch is looked up again after every notification.

    if (ready & (EPOLLERR | EPOLLHUP)) {
        int so_error = 0;
        socklen_t len = sizeof so_error;
        getsockopt(s, SOL_SOCKET, SO_ERROR, &so_error, &len);
        long pending = 0;
        if (w->read_armed && (ready & EPOLLIN) && available(s, &pending) == 0 && pending > 0) {
            w->read_armed = false;
            if (!post(s, generation, FD_READ, 0)) return;
            w = watch_of(s);
        }
        w->dead = true;
        if ((w->wanted & FD_CLOSE) && !w->close_posted) {
            w->close_posted = true;
            int error = so_error != 0 ? wsa_error_from_errno(so_error)
                                      : ((ready & EPOLLERR) ? WSAECONNRESET : 0);
            post(s, generation, FD_CLOSE, error);
        }
        return;
    }

    if (ready & EPOLLIN) {
        if (w->accept_armed) {
            w->accept_armed = false;
            if (!post(s, generation, FD_ACCEPT, 0)) return;
            w = watch_of(s);
        } else if (w->read_armed) {
            long pending = 0;
            bool at_end = (ready & EPOLLRDHUP) && available(s, &pending) == 0 && pending == 0;
            w->read_armed = false;
            if (at_end) {
                // Everything the peer sent has been received: the orderly
                // close is told once, and reading stops for good.
                w->peer_closed = true;
                w->oob_armed = false;
                if ((w->wanted & FD_CLOSE) && !w->close_posted) {
                    w->close_posted = true;
                    if (!post(s, generation, FD_CLOSE, 0)) return;
                    w = watch_of(s);
                }
            } else {
                if (!post(s, generation, FD_READ, 0)) return;
                w = watch_of(s);
            }
        }
    }
    if ((ready & EPOLLPRI) && w->oob_armed) {
        w->oob_armed = false;
        if (!post(s, generation, FD_OOB, 0)) return;
        w = watch_of(s);
    }
    if (write_ready) {
        if (!post(s, generation, FD_WRITE, 0)) return;
        w = watch_of(s);
    }
    arm(s, *w);
}

SocketApi* g_installed = nullptr;

}  // namespace

SocketApi& system_sockets() {
    static SystemSockets instance;
    return instance;
}

SocketApi& sockets() {
    return g_installed != nullptr ? *g_installed : system_sockets();
}

SocketApi* set_sockets(SocketApi* api) {
    SocketApi* previous = g_installed;
    g_installed = api;
    return previous;
}

}  // namespace qxs
