#include "engine/server.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cgi/cgi_monitor.h"
#include "config/settings.h"
#include "engine/admission.h"
#include "engine/reader.h"
#include "engine/sender.h"
#include "logging/access_log.h"
#include "logging/dates.h"
#include "logging/screen_log.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/winsock_errors.h"
#include "shell/shell.h"

namespace qxs {

Engine engine;

namespace {

constexpr const char* kErrorTitle = "QXServer ERROR!";
constexpr const char* kLogMutexName = "/MUTEX/QXS1/QXS_LOG_MUTEX";
void on_notification(void*, Socket sock, int event, int error) {
    socket_notification(sock, event, error, time(nullptr), engine.loop->now_ms());
}

void on_tick(void*) {
    timer_tick(time(nullptr), engine.loop->now_ms());
}

void set_clock(time_t now, uint64_t now_ms) {
    engine.now = now;
    engine.now_ms = now_ms;
}

bool send_turn_allowed() {
    return !engine.send_turn_ran ||
           engine.now_ms - engine.last_send_turn_ms >= static_cast<uint64_t>(settings.pollevery);
}

unsigned period_ms() {
    return static_cast<unsigned>(settings.pollevery > 0 ? settings.pollevery : 1);
}

// (Re)starts the tick so that it comes when the next send turn is allowed:
// one period after the last turn, or one period from now when that is past.
// A connection that must wait for its turn then waits no longer than the
// bound asks, and a run of requests each a little over a period apart is
// answered at once again after one of them had to wait.
bool start_tick() {
    unsigned first = period_ms();
    if (engine.send_turn_ran) {
        uint64_t allowed = engine.last_send_turn_ms + period_ms();
        if (allowed > engine.now_ms) first = static_cast<unsigned>(allowed - engine.now_ms);
    }
    return engine.loop->start_timer(period_ms(), on_tick, nullptr, first);
}

// One round-robin send turn, counted for the one-sender-per-period bound.
bool send_turn() {
    if (!timer_send_pass(*engine.table)) return false;
    engine.last_send_turn_ms = engine.now_ms;
    engine.send_turn_ran = true;
    if (engine.timer_running) start_tick();
    return true;
}

bool tick_needed() {
    return count_active(*engine.table) > 0 || shell().wants_ticks();
}

// A listener whose next connection found every slot busy: its accept waits
// for a free slot (the notification comes again only after an accept).
void wait_for_slot(Socket listener) {
    for (Socket& waiting : engine.waiting_listeners) {
        if (waiting == listener) return;
    }
    for (Socket& waiting : engine.waiting_listeners) {
        if (waiting == kInvalidSocket) {
            waiting = listener;
            return;
        }
    }
}

// Takes a waiting connection from each listener that has one, while slots
// are free.
void accept_waiting() {
    for (Socket& waiting : engine.waiting_listeners) {
        if (waiting == kInvalidSocket || count_active(*engine.table) >= kSlots) continue;
        Socket listener = waiting;
        waiting = kInvalidSocket;
        accept_connection(listener);
        shell().refresh_status();
    }
}

// Starts or stops the tick as the state the event left asks.
void settle_tick() {
    if (tick_needed()) {
        wake_tick();
    } else if (engine.timer_running) {
        engine.loop->stop_timer();
        engine.timer_running = false;
    }
}

void beep_if_sound(Beep kind) {
    if (settings.sound) shell().beep(kind);
}

// The bind address of the `ip` setting: its first four dot-separated pieces
// as decimal bytes; 0 (any local address) when the setting is empty.
uint32_t bind_address() {
    if (settings.ip[0] == '\0') return 0;
    uint8_t bytes[4] = {};
    const char* p = settings.ip;
    for (int i = 0; i < 4 && *p != '\0'; ++i) {
        bytes[i] = static_cast<uint8_t>(std::atoi(p));
        const char* dot = std::strchr(p, '.');
        if (dot == nullptr) break;
        p = dot + 1;
    }
    uint32_t address;
    std::memcpy(&address, bytes, 4);
    return address;
}

// Creates, binds and starts a listener. kInvalidSocket on failure, with
// the binding failure reported as the texts an operator knows.
Socket open_listener(uint32_t address, int port, bool report_create_failure) {
    SocketApi& api = sockets();
    Socket s = api.open_stream();
    if (s == kInvalidSocket) {
        if (report_create_failure) shell().message_box("Invalid Socket", kErrorTitle);
        return kInvalidSocket;
    }
    if (api.bind(s, address, static_cast<uint16_t>(port)) != 0) {
        engine.listen_failure_port = port;
        engine.listen_failure_error = api.last_error();
        char reason[64];
        format_text(reason, sizeof reason, "Reason: %d\r\n", api.last_error());
        const char* text = "Error Binding Socket to Port\r\nCheck your hostname and ip";
        shell().message_box(text, kErrorTitle);
        screen_log(text);
        screen_log("\r\n");  // the text ends without a line end of its own
        screen_log(reason);
        shell().message_box(reason, kErrorTitle);
        api.close_socket(s);
        return kInvalidSocket;
    }
    api.async_select(s, FD_READ | FD_OOB | FD_ACCEPT | FD_CLOSE);
    api.listen(s, 5);
    return s;
}

// Host name step: the `hostname` setting, else the machine's name.
bool find_host_name() {
    if (settings.hostname[0] != '\0') {
        copy_text(engine.server_name, sizeof engine.server_name, settings.hostname);
        screen_logf("Using  %s  hostname = '%s'\r\n", settings_file(), engine.server_name);
        return true;
    }
    screen_log("Getting the hostname for this machine...\r\n");
    char name[100];
    if (gethostname(name, sizeof name) != 0) {
        const char* text =
            "Unable to get the hostname for this box!\r\nQXServer is unable to run.\nPlease check "
            "your winsock setup\nand/orr enter your hostname using the QXServer Control.\r\n";
        beep_if_sound(Beep::kExclamation);
        screen_log(text);
        shell().message_box(text, kErrorTitle);
        return false;
    }
    name[sizeof name - 1] = '\0';
    copy_text(engine.server_name, sizeof engine.server_name, name);
    screen_logf("Hostname is '%s'\r\n", engine.server_name);
    return true;
}

}  // namespace

int server_startup(EventLoop& loop) {
    engine.loop = &loop;
    load_settings();
    load_totals();
    // There is no background-service registration to ask for here.
    screen_log("Unable to register program as Windows 95 service.\r\n");

    engine.now = time(nullptr);
    engine.table = create_table(engine.now);
    if (engine.table == nullptr || engine.table->usable_slots != kSlots) {
        shell().beep(Beep::kExclamation);
        shell().message_box("Unable to enough alocate memory!\nQXServer is unable to run.\n",
                            kErrorTitle);
        loop.quit();
        return -1;
    }

    if (int code = sockets().startup(loop.uv(), on_notification, nullptr); code != 0) {
        switch (code) {
            case WSASYSNOTREADY:
                shell().message_box("Error starting up sockets: WSASYSNOTREADY", kErrorTitle);
                break;
            case WSAVERNOTSUPPORTED:
                shell().message_box("Error starting up sockets: WSAVERNOTSUPPORTED", kErrorTitle);
                break;
            case WSAEINVAL:
                shell().message_box("Error starting up sockets: WSAEINVAL", kErrorTitle);
                break;
            default:
                break;
        }
        loop.quit();
        return -1;
    }
    screen_logf("The start time is %s\r\n", log_date(engine.table->server_start_time));

    engine.startup_stage = 10;
    shell().refresh_status();

    engine.timer_running = start_tick();
    if (!engine.timer_running) {
        screen_log("\r\n\r\nUNABLE TO GET A TIMER SYSTEM RESOURCE!\r\n");
        screen_log("  SERVER may NOT WORK CORRECTLY!\r\n");
        for (int i = 0; i < 3; ++i) shell().beep(Beep::kExclamation);
    }

    engine.log_mutex.create(kLogMutexName);

    if (!find_host_name()) return -1;
    uint32_t address = bind_address();

    engine.startup_stage = 20;
    shell().refresh_status();

    engine.gopher_listener = open_listener(address, settings.gopherport, true);
    if (engine.gopher_listener == kInvalidSocket) return -1;
    sockets().local_address(engine.gopher_listener, engine.server_ip);
    engine.http_listener = open_listener(address, settings.httpport, false);
    if (engine.http_listener == kInvalidSocket) return -1;

    if (settings.httpport == 80) {
        copy_text(engine.server_host_port, sizeof engine.server_host_port, engine.server_name);
    } else {
        format_text(engine.server_host_port, sizeof engine.server_host_port, "%s:%d",
                    engine.server_name, settings.httpport);
    }
    screen_log("Listening...\r\n");
    return 0;
}

const char* listen_failure() {
    static char text[160];
    if (engine.listen_failure_port == 0) return nullptr;
    const int port = engine.listen_failure_port;
    switch (engine.listen_failure_error) {
        case WSAEADDRINUSE:
            format_text(text, sizeof text, "port %d is already in use", port);
            break;
        case WSAEACCES:
            format_text(text, sizeof text,
                        "port %d may only be opened with the administrator's rights", port);
            break;
        case WSAEADDRNOTAVAIL:
            format_text(text, sizeof text,
                        "port %d cannot be opened on the address %s, which is not this "
                        "machine's (see the ip setting)",
                        port, settings.ip);
            break;
        default:
            format_text(text, sizeof text, "port %d cannot be opened (socket error %d)", port,
                        engine.listen_failure_error);
            break;
    }
    return text;
}

int server_shutdown() {
    for (Socket& waiting : engine.waiting_listeners) waiting = kInvalidSocket;
    if (engine.loop != nullptr) engine.loop->stop_timer();
    engine.timer_running = false;
    if (engine.loop != nullptr) {
        // Programs still running are ended and reaped while the loop exists.
        process::shutdown(engine.loop->uv(), kProgramEndGraceMs);
        if (engine.table != nullptr) {
            for (Connection& c : engine.table->records) c.cgi_process = nullptr;
        }
    }
    for (Socket* listener : {&engine.gopher_listener, &engine.http_listener}) {
        if (*listener != kInvalidSocket) sockets().close_socket(*listener);
        *listener = kInvalidSocket;
    }
    sockets().cleanup();
    return 0;
}

namespace {

void dispatch_notification(Socket sock, int event, int error) {
    ConnectionTable& table = *engine.table;
    switch (event) {
        case FD_READ:
        case FD_OOB: {
            int slot = find_slot(table, sock);
            if (slot >= 0) {
                read_step(table.records[slot], event);
            } else if (settings.debug1) {
                screen_log("Unknown socket?|\r\n");
            }
            break;
        }
        case FD_WRITE: {
            if (settings.debug1) screen_log("WRITE\r\n");
            int slot = find_slot(table, sock);
            if (settings.greedy && slot >= 0 && table.records[slot].state == kSend) {
                send_step(table.records[slot]);
            }
            break;
        }
        case FD_ACCEPT:
            if (count_active(table) >= kSlots) {
                wait_for_slot(sock);
                break;
            }
            accept_connection(sock);
            shell().refresh_status();
            break;
        case FD_CLOSE: {
            int slot = find_slot(table, sock);
            if (slot < 0) break;
            Connection& c = table.records[slot];
            char text[96];
            format_text(text, sizeof text,
                        "FD_CLOSE S%d) [%d] Connection closed by other end.**\r\n", slot, sock);
            if (settings.debug1) {
                screen_log(text);
                if (error == 0) {
                    screen_log("GRACEFUL\r\n");
                } else if (error == WSAECONNRESET) {
                    screen_log("WSAECONNRESET\r\n");
                } else {
                    screen_logf("UNKNOWN %d\r\n", error);
                }
            }
            // A client that has only finished sending still wants its answer.
            // One that reset the connection, or a connection still reading its
            // request, ends here, so that its slot is free at once.
            if (error == 0 && (c.state == kSend || c.state == kCgiWait)) break;
            if (error != 0 && c.state != kRead) {
                char status[32];
                format_text(status, sizeof status, "Socket Error %d", error);
                set_status_text(c, status);
            }
            close_connection(c);
            shell().refresh_status();
            break;
        }
        default:
            break;
    }
}

}  // namespace

void socket_notification(Socket sock, int event, int error, time_t now, uint64_t now_ms) {
    set_clock(now, now_ms);
    if (error != 0 && event != FD_CLOSE) return;
    dispatch_notification(sock, event, error);
    accept_waiting();
    send_turn_if_quiet();
    settle_tick();
}

void wake_tick() {
    if (engine.timer_running || engine.loop == nullptr) return;
    engine.timer_running = start_tick();
}

void send_turn_if_quiet() {
    if (send_turn_allowed()) send_turn();
}

void timer_tick(time_t now, uint64_t now_ms) {
    set_clock(now, now_ms);
    shell().tick();
    ConnectionTable& table = *engine.table;
    for (Connection& c : table.records) {
        if (c.state == kRead) read_step(c, 0);
    }
    if (send_turn_allowed() && send_turn()) shell().refresh_status();
    cgi_monitor_pass(now);
    accept_waiting();
    // Output a program left in this tick goes out now when no turn ran.
    send_turn_if_quiet();
    settle_tick();
}

}  // namespace qxs
