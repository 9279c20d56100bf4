#include "engine/reader.h"

#include "config/settings.h"
#include "engine/connection.h"
#include "logging/screen_log.h"
#include "platform/sockets.h"
#include "platform/winsock_errors.h"
#include "request/dispatch.h"

namespace qxs {
namespace {

// At most this many receives per step, so one busy client cannot hold the
// thread; pbuffin never holds more than kBuffInSizeMax - 1 bytes.
constexpr int kMaxReceives = 9;

// A held connection (see Connection::hold_until) has had its answer; what it
// sends is left unread until the tick closes it.
bool still_reading(const Connection& c) {
    return c.state == kRead && c.hold_until == 0;
}

bool body_has_begun(const Connection& c) {
    return c.state == kRead && c.full_request && c.headers_done && c.content_length > 0;
}

// Pulls what is available into pbuffin. False when the connection was closed.
bool receive(Connection& c, int event, long available) {
    SocketApi& api = sockets();
    for (int receives = 0; receives < kMaxReceives && available > 0; ++receives) {
        long want = available;
        if (available + c.buffinlen >= static_cast<long>(kBuffInSizeMax)) {
            want = static_cast<long>(kBuffInSizeMax) - 1 - c.buffinlen;
        }
        if (want <= 0) break;
        int n = api.recv(c.sock, c.pbuffin + c.buffinlen, static_cast<int>(want),
                         event == FD_OOB ? kRecvOob : 0);
        if (n <= 0) {
            screen_logf("Error on read - Error was %d\r\n", n == 0 ? 0 : api.last_error());
            close_connection(c);
            return false;
        }
        c.buffinlen += n;
        c.pbuffin[c.buffinlen] = '\0';
        if (api.available(c.sock, &available) != 0) {
            if (settings.debug1) {
                screen_logf("Error on read - 02 - Error was %d\r\n", api.last_error());
            }
            close_connection(c);
            return false;
        }
    }
    return true;
}

}  // namespace

void read_step(Connection& c, int event) {
    if (c.hold_until != 0) return;
    SocketApi& api = sockets();
    long available = 0;
    if (api.available(c.sock, &available) != 0) {
        screen_logf("Error on read - 01 - Error was %d\r\n", api.last_error());
        close_connection(c);
        return;
    }
    if (available == 0) {
        // Nothing to read: a peek tells a real error from a quiet socket. An
        // orderly close (the peek reads 0) is left to the close notification.
        char peek[16];
        int n = api.recv(c.sock, peek, sizeof peek, kRecvPeek);
        if (settings.debug1) screen_logf("uBRead %d\r\n", n);
        if (n == kSocketError) {
            int error = api.last_error();
            if (settings.debug1) screen_logf("Error on read - 03 - Error was %d\r\n", error);
            if (error != WSAEWOULDBLOCK) close_connection(c);
        }
        return;
    }
    if (!receive(c, event, available)) return;

    c.pbuffin[c.buffinlen] = '\0';
    if (settings.debug2) {
        screen_logf("S%d) RAW INPUT [", c.slot);
        screen_log(c.pbuffin);
        screen_log("] RAW INPUT End\r\n");
    }

    // Line assembly: LF ends a line, CR is dropped wherever it stands.
    int k = 0;
    c.linebuf[0] = '\0';
    int i = 0;
    while (i < c.buffinlen) {
        if (body_has_begun(c)) break;
        char byte = c.pbuffin[i++];
        if (byte == '\n') {
            c.linebuf[k] = '\0';
            c.line = c.linebuf;
            handle_line(c, k);
            k = 0;
        } else if (byte != '\r') {
            c.linebuf[k++] = byte;
            if (k == static_cast<int>(kLineBufSize)) {
                // An over-long line stays the carried line and the rest of this
                // step's input is dropped; the read time-out ends the request.
                screen_log("lc");
                break;
            }
        }
        if (!still_reading(c)) return;
    }
    if (!still_reading(c)) return;

    if (c.full_request && c.headers_done && c.content_length >= 1) {
        c.line = c.pbuffin + i;
        handle_line(c, c.buffinlen - i);
        if (!still_reading(c)) return;
        k = 0;
        c.buffinlen = 0;
    }
    // Carry the unfinished line over: the next step appends behind it and
    // assembles the line again from its start.
    for (int j = 0; j < k; ++j) c.pbuffin[j] = c.linebuf[j];
    c.buffinlen = k;
    c.pbuffin[k] = '\0';
}

}  // namespace qxs
