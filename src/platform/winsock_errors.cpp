#include "platform/winsock_errors.h"

#include <cerrno>

namespace qxs {

int wsa_error_from_errno(int err) {
    struct Row {
        int err;
        int wsa;
    };
    static constexpr Row rows[] = {
        {EINTR, WSAEINTR},
        {EBADF, WSAEBADF},
        {EACCES, WSAEACCES},
        {EPERM, WSAEACCES},
        {EFAULT, WSAEFAULT},
        {EINVAL, WSAEINVAL},
        {EMFILE, WSAEMFILE},
        {ENFILE, WSAEMFILE},
        {EWOULDBLOCK, WSAEWOULDBLOCK},
        {EAGAIN, WSAEWOULDBLOCK},
        {EINPROGRESS, WSAEINPROGRESS},
        {EALREADY, WSAEALREADY},
        {ENOTSOCK, WSAENOTSOCK},
        {EDESTADDRREQ, WSAEDESTADDRREQ},
        {EMSGSIZE, WSAEMSGSIZE},
        {EPROTOTYPE, WSAEPROTOTYPE},
        {ENOPROTOOPT, WSAENOPROTOOPT},
        {EPROTONOSUPPORT, WSAEPROTONOSUPPORT},
        {ESOCKTNOSUPPORT, WSAESOCKTNOSUPPORT},
        {EOPNOTSUPP, WSAEOPNOTSUPP},
        {EPFNOSUPPORT, WSAEPFNOSUPPORT},
        {EAFNOSUPPORT, WSAEAFNOSUPPORT},
        {EADDRINUSE, WSAEADDRINUSE},
        {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
        {ENETDOWN, WSAENETDOWN},
        {ENETUNREACH, WSAENETUNREACH},
        {ENETRESET, WSAENETRESET},
        {ECONNABORTED, WSAECONNABORTED},
        {ECONNRESET, WSAECONNRESET},
        // A send to a peer that has gone away: WinSock reports the reset.
        {EPIPE, WSAECONNRESET},
        {ENOBUFS, WSAENOBUFS},
        {ENOMEM, WSAENOBUFS},
        {EISCONN, WSAEISCONN},
        {ENOTCONN, WSAENOTCONN},
        {ESHUTDOWN, WSAESHUTDOWN},
        {ETIMEDOUT, WSAETIMEDOUT},
        {ECONNREFUSED, WSAECONNREFUSED},
        {ENAMETOOLONG, WSAENAMETOOLONG},
        {EHOSTDOWN, WSAEHOSTDOWN},
        {EHOSTUNREACH, WSAEHOSTUNREACH},
    };
    for (const Row& row : rows) {
        if (row.err == err) return row.wsa;
    }
    return err;
}

}  // namespace qxs
