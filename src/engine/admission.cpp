#include "engine/admission.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <ctime>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "logging/screen_log.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "shell/shell.h"

namespace qxs {

int server_paused = 0;

namespace {

constexpr const char* kOverloaded =
    "HTTP/1.0 502 Service temporarily overloaded / Maintenance\r\n\r\n";

void send_once(Socket s, const char* text) {
    sockets().send(s, text, static_cast<int>(std::strlen(text)), 0);
}

// Takes whatever of the request has already arrived, so that closing does not
// meet unread input (which would turn the close into a reset and could cut
// off the refusal text).
void discard_input(Socket s, int times) {
    char sink[1023];
    for (int i = 0; i < times; ++i) sockets().recv(s, sink, sizeof sink, 0);
}

// The reject message's escapes: \n, \r, \t, \\; a backslash before anything
// else gives that character; one at the very end is dropped.
void unescape(char* text) {
    char* out = text;
    for (const char* in = text; *in != '\0'; ++in) {
        if (*in != '\\') {
            *out++ = *in;
            continue;
        }
        ++in;
        if (*in == '\0') break;
        switch (*in) {
            case 'n':
                *out++ = '\n';
                break;
            case 'r':
                *out++ = '\r';
                break;
            case 't':
                *out++ = '\t';
                break;
            default:
                *out++ = *in;
                break;
        }
    }
    *out = '\0';
}

void refuse_rejected(Socket s, const uint8_t* a) {
    if (settings.sound) shell().beep(Beep::kExclamation);
    screen_logf("Rejecting connection from [%d.%d.%d.%d]!\r\n", a[0], a[1], a[2], a[3]);
    char message[1025];
    profile::get_string("rejectmessages", "message1", "", message, sizeof message,
                        settings.reject_ip_filename);
    if (message[0] != '\0') {
        unescape(message);
        send_once(s, message);
    } else {
        send_once(s, kOverloaded);
        send_once(s, "\r\n\r\nSorry, this server is refusing connections from your site.\r\n");
    }
    discard_input(s, 4);
    sockets().close_socket(s);
}

void refuse_paused(Socket s, const uint8_t* a) {
    if (settings.sound) shell().beep(Beep::kExclamation);
    screen_logf("Refusing connection from [%d.%d.%d.%d]!\r\n", a[0], a[1], a[2], a[3]);
    send_once(s, kOverloaded);
    send_once(s,
              "\r\n\r\nSorry, the server is temporarily paused for maintenance.  Please try "
              "again in a few minutes.\r\n");
    discard_input(s, 2);
    sockets().close_socket(s);
}

}  // namespace

void set_paused(int flag) {
    server_paused = flag == 1 ? 1 : 0;
    shell().show_switch(kCmdPause, server_paused != 0);
    screen_log(server_paused ? "\r\n*** SERVER PAUSED - Refusing connections\r\n"
                             : "\r\n*** SERVER RESTARTED\r\n");
}

void accept_connection(Socket listener) {
    SocketApi& api = sockets();
    uint8_t a[4] = {};
    uint16_t port = 0;
    Socket s = api.accept(listener, a, &port);
    if (s == kInvalidSocket) {
        screen_log("Error accepting connection. INVALID_SOCKET\n\r");
        screen_logf("Error was %d\r\n", api.last_error());
        return;
    }
    api.async_select(s, FD_READ | FD_WRITE | FD_OOB | FD_CLOSE);
    ++engine.totals.total_connections;

    if (reject_lookup(a) != 0) {
        refuse_rejected(s, a);
        return;
    }
    if (server_paused) {
        refuse_paused(s, a);
        return;
    }
    int slot = take_slot(*engine.table, s, port, engine.now);
    if (slot < 0) {
        api.close_socket(s);
        screen_logf("Closed connection with [%d.%d.%d.%d]!   Too many open connections!\r\n", a[0],
                    a[1], a[2], a[3]);
        return;
    }
    Connection& c = engine.table->records[slot];
    c.gopher_port = listener == engine.gopher_listener;
    reverse_lookup(a, c.remote_host, sizeof c.remote_host);
    format_text(c.remote_address, sizeof c.remote_address, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
    if (settings.view_connects) {
        screen_logf("%02d) [%s] %s!\r\n", slot, c.remote_host, log_date(c.start_time));
    }
    if (settings.sound) shell().beep(Beep::kDefault);
}

int reject_lookup(const uint8_t address[4]) {
    if (settings.reject_ip_filename[0] == '\0') return 0;
    // Broadest pattern first, so a narrower one cannot exempt an address
    // inside a rejected range.
    char key[4][20];
    format_text(key[0], sizeof key[0], "%d.0.0.0", address[0]);
    format_text(key[1], sizeof key[1], "%d.%d.0.0", address[0], address[1]);
    format_text(key[2], sizeof key[2], "%d.%d.%d.0", address[0], address[1], address[2]);
    format_text(key[3], sizeof key[3], "%d.%d.%d.%d", address[0], address[1], address[2],
                address[3]);
    for (const char* pattern : key) {
        int value = profile::get_int("RejectIPs", pattern, 0, settings.reject_ip_filename);
        if (value != 0) return value;
    }
    return 0;
}

char* reverse_lookup(const uint8_t address[4], char* out, size_t size) {
    if (settings.DNS_mode != 0) {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        std::memcpy(&peer.sin_addr.s_addr, address, 4);
        char host[NI_MAXHOST];
        if (getnameinfo(reinterpret_cast<sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr,
                        0, NI_NAMEREQD) == 0) {
            copy_text(out, size, host);
            return out;
        }
    }
    format_text(out, size, "%d.%d.%d.%d", address[0], address[1], address[2], address[3]);
    return out;
}

}  // namespace qxs
