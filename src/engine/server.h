// Start-up, shutdown and the dispatch of everything that happens: socket
// notifications and the tick of timer 1, all on the one thread.
//
// A request's road through the engine, in the order the files are called:
//   server.cpp      notify procedure: accept, read, write and close events
//   admission.cpp   accept_connection: reject list, pause, a free slot
//   reader.cpp      read_step: bytes into lines and body pieces
//   request/...     handle_line, serve_get, send_directory: the answer
//   sender.cpp      queuegopherfile, timer_send_pass, send_step: the file
//   connection.cpp  close_connection: access log, socket, slot
// docs/engine.md tells the same road at more length, with the rules of who
// ends a request, who owns the switches and who may include what.
#pragma once

#include <cstdint>
#include <ctime>

#include "engine/connection.h"
#include "platform/event_loop.h"
#include "platform/named_lock.h"
#include "platform/sockets.h"

namespace qxs {

inline constexpr const char* kServerVersion = "Personal-3.07b-32bit";

// Engine-wide state, created by start-up and read by the rest of the engine.
struct Engine {
    EventLoop* loop = nullptr;
    ConnectionTable* table = nullptr;
    EngineTotals totals;
    Socket gopher_listener = kInvalidSocket;
    Socket http_listener = kInvalidSocket;
    char server_name[101] = "";
    char server_host_port[128] = "";
    uint8_t server_ip[4] = {};
    int startup_stage = 0;  // 10 while finding the host name, 20 once listening
    NamedLock log_mutex;
    // The time of the event being handled. Each entry point below takes it
    // as its `now` (seconds) and `now_ms` (the loop's monotonic clock) and
    // keeps it here for everything it calls (the close line, the time of an
    // admission, the "/~debug" hold, the send turns), so that tests move
    // time by passing it in.
    time_t now = 0;
    uint64_t now_ms = 0;
    // When the last send turn that sent something ran (now_ms); at most one
    // connection sends per pollevery milliseconds. Valid once any has run.
    uint64_t last_send_turn_ms = 0;
    bool send_turn_ran = false;
    bool timer_running = false;
    // A listener that could not be bound: its port and the socket error; 0
    // when both listen.
    int listen_failure_port = 0;
    int listen_failure_error = 0;
    // Listeners whose connections wait in the listen queue because every
    // slot was busy: a burst waits a moment there instead of being turned
    // away, and is taken from the queue when a slot frees.
    Socket waiting_listeners[2] = {kInvalidSocket, kInvalidSocket};
    // Socket notifications are taken at the tick (a tick of 10 ms or less).
    bool notifications_held = false;
};

extern Engine engine;

// Starts the server on `loop`: settings, totals, the table, sockets, timer 1,
// the log mutex, the host name and the two listeners. 0 on success, -1 when
// it stopped early (the reason is on the screen log; a failure that needs the
// program to end has asked the loop to quit).
int server_startup(EventLoop& loop);
// Why a listener could not be bound, in words ("port 8080 is already in
// use"); nullptr when both listen. The console, where nobody reads a
// message box, ends the program with it.
const char* listen_failure();
// Stops timer 1, closes the listeners and the socket layer. Open connections
// are not closed one by one.
int server_shutdown();

// The notify procedure's socket half: one notification of one socket.
void socket_notification(Socket sock, int event, int error, time_t now, uint64_t now_ms);
// One tick of timer 1.
void timer_tick(time_t now, uint64_t now_ms);

// The tick runs only while something needs it: a busy slot (reading,
// sending, a program running) or a front end that wants ticks. Every entry
// point settles it when its event is handled, so a server with no
// connection sleeps until the next one arrives. wake_tick starts it for a
// front end that wants ticks again; the first tick comes one period later,
// so nothing the tick does comes later than it would with a tick that
// never stopped.
void wake_tick();

// A connection that became ready to send does not wait for the tick when
// no send turn has run within the last pollevery milliseconds: the next
// round-robin turn runs at once. So one lone request is answered in the
// event that completes it, and the bounds of the send queue hold as with
// the tick alone (one sending connection per period).
void send_turn_if_quiet();

}  // namespace qxs
