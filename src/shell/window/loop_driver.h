// Drives the server's loop from Qt's, on the same thread: a socket notifier
// on the loop's backend descriptor runs one pass whenever something is
// ready there, and a single-shot timer runs one when the loop's next timer
// is due. The timer is set after every pass and again each time Qt is about
// to wait, so whatever changed the loop's timers meanwhile (a tick started
// by a menu command) is taken into account. Nothing waits in the server's
// loop and nothing spins.
#pragma once

#include <QSocketNotifier>
#include <QTimer>
#include <functional>

#include "platform/event_loop.h"

namespace qxs::window {

class LoopDriver {
public:
    // `on_quit` is called once, when the loop has been asked to quit (Exit,
    // a stop signal).
    LoopDriver(EventLoop& loop, std::function<void()> on_quit);
    LoopDriver(const LoopDriver&) = delete;
    LoopDriver& operator=(const LoopDriver&) = delete;

    // One pass over whatever is ready in the server's loop. A pass never
    // starts inside another (a callback that spun Qt's loop).
    void pass();
    // Sets the timer for the loop's next due time, or reports the quit.
    void prepare();

private:
    EventLoop& loop_;
    std::function<void()> on_quit_;
    QSocketNotifier notifier_;
    QTimer timer_;
    bool in_pass_ = false;
    bool quit_told_ = false;
};

}  // namespace qxs::window
