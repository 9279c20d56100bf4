// The socket layer the engine is written against: WinSock 1.1 semantics on
// top of BSD sockets.
//
// Every call is non-blocking. Failures return kSocketError (or
// kInvalidSocket) and leave a WinSock error number in last_error().
//
// Notifications. async_select asks for any of the five notifications of a
// socket; they arrive through the NotifyHandler given to startup, on the loop
// thread, one at a time, with the re-enabling rules of WinSock:
//   FD_READ / FD_OOB  posted again only after a receive (a peek counts) on
//                     that socket, and then only while unread data remains;
//   FD_WRITE          posted once at first, then only after a send that
//                     would block, when the socket can take data again;
//   FD_ACCEPT         posted again only after an accept on the listener;
//   FD_CLOSE          posted once, after every byte the peer sent before
//                     closing has been received; the error is 0 for an
//                     orderly close and WSAECONNRESET for a reset.
// So a socket whose owner does not read uses no CPU, however much its peer
// sends. After close_socket (or async_select with 0) no notification of that
// socket is delivered any more, even one already pending when it was closed.
//
// SocketApi is an interface so that tests can put a fault-injecting double
// between the engine and the system (a send that comes back short or would
// block, a failing receive).
#pragma once

#include <cstdint>

#include <uv.h>

namespace qxs {

using Socket = int;
inline constexpr Socket kInvalidSocket = -1;
inline constexpr int kSocketError = -1;

enum SocketEvent : int {
    FD_READ = 1,
    FD_WRITE = 2,
    FD_OOB = 4,
    FD_ACCEPT = 8,
    FD_CLOSE = 32,
};

enum RecvFlags : int {
    kRecvOob = 1,   // MSG_OOB: urgent data; here it arrives in line, see recv
    kRecvPeek = 2,  // MSG_PEEK
};

enum SendFlags : int {
    // More of the same answer follows at once (a send or the close): the
    // bytes may wait for it, so that a short answer leaves in one segment
    // with its FIN instead of one per send (MSG_MORE).
    kSendMore = 1,
};

enum class SocketOption {
    kAcceptConn,  // SO_ACCEPTCONN: the socket is listening
    kDontLinger,  // SO_DONTLINGER: WinSock only
};

// The description record of the socket library, shown by the socket report.
struct SocketLibraryInfo {
    char description[257];
    char system_status[129];
    uint16_t version;
    uint16_t high_version;
    char vendor_info[64];
    int max_sockets;
};

using NotifyHandler = void (*)(void* context, Socket socket, int event, int error);

class SocketApi {
public:
    virtual ~SocketApi() = default;

    // Starts the layer on `loop`; notifications go to `handler`. 0, or a
    // WinSock error number (WSASYSNOTREADY when the system refuses).
    [[nodiscard]] virtual int startup(uv_loop_t* loop, NotifyHandler handler, void* context) = 0;
    // Stops notifications and releases the layer. Sockets stay open.
    virtual void cleanup() = 0;
    virtual const SocketLibraryInfo& library_info() const = 0;

    [[nodiscard]] virtual int last_error() const = 0;

    // A TCP stream socket, non-blocking and closed on exec.
    virtual Socket open_stream() = 0;
    // Binds to the IPv4 address (network order, 0 for any) and port.
    virtual int bind(Socket s, uint32_t address_be, uint16_t port) = 0;
    virtual int listen(Socket s, int backlog) = 0;
    // The four bytes of the socket's local address.
    virtual int local_address(Socket s, uint8_t address[4]) = 0;
    // A pending connection, or kInvalidSocket (WSAEWOULDBLOCK when none is
    // waiting). The peer's address bytes and its port in network order.
    virtual Socket accept(Socket listener, uint8_t address[4], uint16_t* port_be) = 0;

    // Asks for the notifications in `events` (FD_* bits); 0 cancels them all.
    virtual int async_select(Socket s, int events) = 0;

    // Bytes that can be received at once (ioctlsocket FIONREAD).
    virtual int available(Socket s, long* count) = 0;
    // Receives up to len bytes: the count, 0 when the peer has closed, or
    // kSocketError. Urgent (out-of-band) bytes are kept in line with the rest
    // of the data, so kRecvOob reads them where they stand in the stream.
    virtual int recv(Socket s, char* buffer, int len, int flags) = 0;
    // Sends up to len bytes: the count taken (may be short) or kSocketError.
    // `flags` are SendFlags bits.
    virtual int send(Socket s, const char* buffer, int len, int flags) = 0;
    virtual int close_socket(Socket s) = 0;
    // Socket-level options for the socket report; kSocketError with
    // WSAENOPROTOOPT where the system has no such option.
    virtual int get_option(Socket s, SocketOption option, int* value) = 0;
    virtual int get_linger(Socket s, uint16_t* onoff, uint16_t* seconds) = 0;
};

// The sockets the engine uses: the system's, unless a test installed another.
SocketApi& sockets();
// Installs `api` (nullptr restores the system's); returns the previous one.
SocketApi* set_sockets(SocketApi* api);

// The system implementation, for tests that wrap it.
SocketApi& system_sockets();

}  // namespace qxs
