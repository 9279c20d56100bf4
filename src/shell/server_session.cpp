#include "shell/server_session.h"

#include <csignal>
#include <utility>

#include "engine/server.h"
#include "platform/event_loop.h"
#include "shell/control_protocol.h"

namespace qxs {

ServerSession::ServerSession(EventLoop& loop, std::string control_path)
    : loop_(loop), control_path_(std::move(control_path)), control_(loop.uv()) {
    loop_.catch_stop_signals([](void* l) { static_cast<EventLoop*>(l)->quit(); }, &loop_);
    loop_.catch_command_signals([](void*) { control::run_signal_command(SIGHUP); },
                                [](void*) { control::run_signal_command(SIGUSR1); }, nullptr);
}

void ServerSession::start() {
    server_startup(loop_);
    if (!loop_.quitting() && listen_failure() == nullptr) control_.start(control_path_);
}

void ServerSession::stop() {
    control_.stop();
    server_shutdown();
}

}  // namespace qxs
