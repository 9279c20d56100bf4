// What every front end runs around its own loop: the stop signals, the
// operator's signals (SIGHUP reloads the settings, SIGUSR1 cycles the logs),
// the engine, and the control socket other programs talk to.
#pragma once

#include <string>

#include "shell/control_server.h"

namespace qxs {

class EventLoop;

class ServerSession {
public:
    ServerSession(EventLoop& loop, std::string control_path);
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Starts the engine, and the control socket when the engine runs.
    void start();
    // Ends the conversations first, as other programs see the server go,
    // then the engine.
    void stop();

private:
    EventLoop& loop_;
    std::string control_path_;
    ControlServer control_;
};

}  // namespace qxs
