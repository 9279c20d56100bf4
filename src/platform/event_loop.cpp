#include "platform/event_loop.h"

#include <csignal>

namespace qxs {

EventLoop::EventLoop() {
    uv_loop_init(&loop_);
    uv_timer_init(&loop_, &timer_);
    timer_.data = this;
    uv_signal_init(&loop_, &sigint_);
    uv_signal_init(&loop_, &sigterm_);
    uv_signal_init(&loop_, &sighup_);
    uv_signal_init(&loop_, &sigusr1_);
    sigint_.data = this;
    sigterm_.data = this;
    sighup_.data = this;
    sigusr1_.data = this;
    std::signal(SIGPIPE, SIG_IGN);
}

EventLoop::~EventLoop() {
    // Close every handle still open (ours and any a component forgot), then let
    // the close callbacks run so the loop can be closed without leaks.
    uv_walk(
        &loop_,
        [](uv_handle_t* handle, void*) {
            if (!uv_is_closing(handle)) uv_close(handle, nullptr);
        },
        nullptr);
    uv_run(&loop_, UV_RUN_DEFAULT);
    uv_loop_close(&loop_);
}

bool EventLoop::start_timer(unsigned period_ms, Callback tick, void* context, unsigned first_ms) {
    if (period_ms == 0) period_ms = 1;
    tick_ = tick;
    tick_context_ = context;
    return uv_timer_start(&timer_, on_timer, first_ms != 0 ? first_ms : period_ms, period_ms) == 0;
}

void EventLoop::stop_timer() {
    uv_timer_stop(&timer_);
}

void EventLoop::on_timer(uv_timer_t* timer) {
    auto* self = static_cast<EventLoop*>(timer->data);
    if (self->tick_ != nullptr && !self->quitting_) self->tick_(self->tick_context_);
}

void EventLoop::catch_stop_signals(Callback on_stop, void* context) {
    on_stop_ = on_stop;
    stop_context_ = context;
    if (signals_started_) return;
    signals_started_ = true;
    uv_signal_start(&sigint_, on_signal, SIGINT);
    uv_signal_start(&sigterm_, on_signal, SIGTERM);
}

void EventLoop::on_signal(uv_signal_t* handle, int) {
    auto* self = static_cast<EventLoop*>(handle->data);
    if (self->on_stop_ != nullptr) self->on_stop_(self->stop_context_);
}

void EventLoop::catch_command_signals(Callback on_hangup, Callback on_user1, void* context) {
    on_hangup_ = on_hangup;
    on_user1_ = on_user1;
    command_context_ = context;
    uv_signal_start(&sighup_, on_command_signal, SIGHUP);
    uv_signal_start(&sigusr1_, on_command_signal, SIGUSR1);
}

void EventLoop::on_command_signal(uv_signal_t* handle, int signum) {
    auto* self = static_cast<EventLoop*>(handle->data);
    Callback callback = signum == SIGHUP ? self->on_hangup_ : self->on_user1_;
    if (callback != nullptr && !self->quitting_) callback(self->command_context_);
}

void EventLoop::run() {
    quitting_ = false;
    // The stop signals keep the loop alive, so a server left without listeners
    // or timer still waits for its operator to stop it.
    while (!quitting_ && uv_run(&loop_, UV_RUN_DEFAULT) != 0) {
    }
}

void EventLoop::run_ready() {
    uv_run(&loop_, UV_RUN_NOWAIT);
}

void EventLoop::quit() {
    quitting_ = true;
    uv_stop(&loop_);
}

}  // namespace qxs
