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
    // as its `now` and keeps it here for everything it calls (the close
    // line, the time of an admission, the "/~debug" hold), so that tests
    // move time by passing it in.
    time_t now = 0;
    bool timer_running = false;
    // Socket notifications are taken at the tick (a tick of 10 ms or less).
    bool notifications_held = false;
};

extern Engine engine;

// Starts the server on `loop`: settings, totals, the table, sockets, timer 1,
// the log mutex, the host name and the two listeners. 0 on success, -1 when
// it stopped early (the reason is on the screen log; a failure that needs the
// program to end has asked the loop to quit).
int server_startup(EventLoop& loop);
// Stops timer 1, closes the listeners and the socket layer. Open connections
// are not closed one by one.
int server_shutdown();

// The notify procedure's socket half: one notification of one socket, at
// time `now`.
void socket_notification(Socket sock, int event, int error, time_t now);
// One tick of timer 1, at time `now`.
void timer_tick(time_t now);
// Starts the tick if it is not running (work has arrived, or the front end
// wants ticks again); its first tick comes one period later.
void wake_tick();

}  // namespace qxs
