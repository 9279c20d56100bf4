// The control socket: a Unix-domain stream socket (by default qxserver.ctl
// in the server home) on which other programs of the same user hold the
// conversations of control_protocol.h. It lives on the server's one loop:
// nothing here blocks, and every client is bounded (one line of input, a
// few kilobytes of unsent answers, the idle limit).
//
// The socket file is created owner-only (0600). A socket file left by a
// server that is gone is replaced; a live server's socket, or any other kind
// of file, is left alone and reported on the screen log, and this server runs
// without a control socket. stop() removes the file, if it is still ours.
#pragma once

#include <sys/types.h>
#include <uv.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/control_protocol.h"

namespace qxs {

class ControlServer final : private control::Conversations::Transport {
public:
    // Connections beyond this many (with or without a conversation) are
    // closed as soon as they are accepted.
    static constexpr size_t kMaxClients = 64;
    // A client whose unsent answers pass this many bytes does not read them;
    // it is disconnected.
    static constexpr size_t kMaxPendingOutput = 4096;

    explicit ControlServer(uv_loop_t* loop);
    // Stops (as stop()) if still serving.
    ~ControlServer() override;
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Creates the socket file at `path` and starts serving on it. False when
    // the server goes on without one; the reason is on the screen log.
    bool start(const std::string& path);
    // Every open conversation gets its TERMINATE (as far as its socket takes
    // it at once: a client that has left its answers unread may miss it),
    // every client and the listener are closed, the socket file is removed.
    // The handles finish closing at the loop's next turn; no callback of this
    // object runs after stop() returns, so it may then be destroyed at once.
    void stop();
    bool serving() const { return listener_ != nullptr; }

private:
    struct Client;

    void send(int client, const char* line) override;
    void close(int client) override;

    static void on_connection(uv_stream_t* listener, int status);
    static void on_read(uv_stream_t* stream, ssize_t count, const uv_buf_t* buffer);
    static void on_sweep(uv_timer_t* timer);
    Client* find(int id);
    // Milliseconds on the loop's steady clock.
    uint64_t now_ms() const { return uv_now(loop_); }

    uv_loop_t* loop_;
    control::Conversations conversations_{*this};
    // Heap handles, freed by their close callbacks, so that they outlive this
    // object when the loop closes them after it is gone.
    uv_pipe_t* listener_ = nullptr;
    uv_timer_t* sweep_timer_ = nullptr;
    std::vector<Client*> clients_;
    int next_id_ = 1;
    std::string path_;
    dev_t socket_device_ = 0;
    ino_t socket_inode_ = 0;
};

}  // namespace qxs
