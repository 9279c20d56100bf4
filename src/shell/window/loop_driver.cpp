#include "shell/window/loop_driver.h"

#include <QAbstractEventDispatcher>
#include <cstdlib>

namespace qxs::window {

LoopDriver::LoopDriver(EventLoop& loop, std::function<void()> on_quit)
    : loop_(loop),
      on_quit_(std::move(on_quit)),
      notifier_(loop.backend_fd(), QSocketNotifier::Read) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&notifier_, &QSocketNotifier::activated, &timer_, [this] { pass(); });
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { pass(); });
    // The timer object is the connection's context: the connection goes
    // when the driver goes.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     &timer_, [this] { prepare(); });
    prepare();
}

void LoopDriver::pass() {
    if (in_pass_) return;
    in_pass_ = true;
    loop_.run_ready();
    in_pass_ = false;
    prepare();
}

void LoopDriver::prepare() {
    if (loop_.quitting()) {
        timer_.stop();
        notifier_.setEnabled(false);
        if (!quit_told_) {
            quit_told_ = true;
            if (on_quit_) on_quit_();
        }
        return;
    }
    // The loop's clock stands where its last pass left it; the next due
    // time counts from now.
    uv_update_time(loop_.uv());
    int due = loop_.next_deadline_ms();
    if (due < 0) {
        timer_.stop();
    } else if (!timer_.isActive() || std::abs(timer_.remainingTime() - due) > 1) {
        timer_.start(due);
    }
}

}  // namespace qxs::window
