// The one loop of the one thread. Everything the server does runs inside a
// callback of this loop and runs to completion before the next one starts:
// socket notifications, timer 1, the stop signals, control commands.
#pragma once

#include <uv.h>

#include <cstdint>

namespace qxs {

class EventLoop {
public:
    using Callback = void (*)(void* context);

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    uv_loop_t* uv() { return &loop_; }
    // Milliseconds of the loop's monotonic clock, as of the current pass.
    uint64_t now_ms() const { return uv_now(&loop_); }

    // Timer 1: calls `tick` every `period_ms` milliseconds (at least 1) until
    // stop_timer, the first time after `first_ms` (0: one period). Starting
    // it again while it runs moves its phase. False when the timer cannot be
    // started.
    [[nodiscard]] bool start_timer(unsigned period_ms, Callback tick, void* context,
                                   unsigned first_ms = 0);
    void stop_timer();

    // SIGINT and SIGTERM call `on_stop` (once per signal), as closing the
    // window would. SIGPIPE is ignored: a send to a vanished peer is an error
    // code, never a signal.
    void catch_stop_signals(Callback on_stop, void* context);
    // SIGHUP calls `on_hangup` and SIGUSR1 `on_user1`, each once per signal
    // and inside the loop like any other event: the usual ways of asking a
    // Unix server to read its settings again and to start new logs.
    void catch_command_signals(Callback on_hangup, Callback on_user1, void* context);

    // The message loop: runs callbacks until quit() is called.
    void run();
    // Ends run() after the current callback returns (posting the quit message).
    void quit();
    bool quitting() const { return quitting_; }

    // For another toolkit's loop that drives this one on the same thread:
    // the descriptor that becomes readable when something is ready here, the
    // milliseconds until the next timer is due (-1: none), and one pass over
    // whatever is ready now, which never waits.
    int backend_fd() const { return uv_backend_fd(&loop_); }
    int next_deadline_ms() const { return uv_backend_timeout(&loop_); }
    void run_ready();

private:
    static void on_timer(uv_timer_t* timer);
    static void on_signal(uv_signal_t* handle, int signum);
    static void on_command_signal(uv_signal_t* handle, int signum);

    uv_loop_t loop_{};
    uv_timer_t timer_{};
    uv_signal_t sigint_{};
    uv_signal_t sigterm_{};
    uv_signal_t sighup_{};
    uv_signal_t sigusr1_{};
    Callback tick_ = nullptr;
    void* tick_context_ = nullptr;
    Callback on_stop_ = nullptr;
    void* stop_context_ = nullptr;
    bool signals_started_ = false;
    Callback on_hangup_ = nullptr;
    Callback on_user1_ = nullptr;
    void* command_context_ = nullptr;
    bool quitting_ = false;
};

}  // namespace qxs
