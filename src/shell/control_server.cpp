#include "shell/control_server.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "logging/screen_log.h"
#include "platform/strings.h"

namespace qxs {

struct ControlServer::Client {
    uv_pipe_t pipe{};
    ControlServer* server = nullptr;
    int id = 0;
    bool closing = false;  // uv_close called
    bool closed = false;   // its close callback has run
    int reading = 0;       // inside on_read, which frees it instead
    control::LineReader reader;
    char read_buffer[1024];
};

namespace {

// One answer line on its way out; freed when the write is done or cancelled.
struct Write {
    uv_write_t request{};
    char text[32];
};

uv_stream_t* stream(uv_pipe_t* pipe) {
    return reinterpret_cast<uv_stream_t*>(pipe);
}

uv_handle_t* handle(void* uv_handle) {
    return static_cast<uv_handle_t*>(uv_handle);
}

enum class Owner { kNobody, kLiveServer, kUnknown };

// Who holds the socket file at `path`: nobody (a server that is gone left it:
// connecting is refused), a live server (it accepts, or its backlog is full),
// or unknown (errno tells why).
Owner socket_owner(const char* path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return Owner::kUnknown;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    copy_text(address.sun_path, sizeof address.sun_path, path);
    int result = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int error = errno;
    ::close(fd);
    errno = error;
    if (result == 0 || error == EAGAIN) return Owner::kLiveServer;
    return error == ECONNREFUSED ? Owner::kNobody : Owner::kUnknown;
}

// A listening socket bound to `path`, created owner-only; -1 with errno.
int bind_owner_only(const char* path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    copy_text(address.sun_path, sizeof address.sun_path, path);
    // Linux gives the file the socket's own mode (less the umask), so the
    // file never exists with wider permissions, not even for a moment.
    if (::fchmod(fd, 0600) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

ControlServer::ControlServer(uv_loop_t* loop) : loop_(loop) {}

ControlServer::~ControlServer() {
    stop();
}

bool ControlServer::start(const std::string& path) {
    const char* name = path.c_str();
    if (path.empty() || path.size() >= sizeof(sockaddr_un{}.sun_path)) {
        screen_logf("Control socket name too long or empty: %s\r\nRunning without control.\r\n",
                    name);
        return false;
    }
    struct stat st {};
    if (::lstat(name, &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            screen_logf(
                "Control socket %s: another kind of file is there.\r\n"
                "Running without control.\r\n",
                name);
            return false;
        }
        switch (socket_owner(name)) {
            case Owner::kLiveServer:
                screen_logf(
                    "Control socket %s belongs to a running server.\r\n"
                    "Running without control.\r\n",
                    name);
                return false;
            case Owner::kUnknown:
                screen_logf(
                    "Control socket %s cannot be tested: %s\r\nRunning without control.\r\n", name,
                    std::strerror(errno));
                return false;
            case Owner::kNobody:
                ::unlink(name);  // left by a server that has gone
                break;
        }
    }
    int fd = bind_owner_only(name);
    if (fd < 0) {
        screen_logf("Unable to create the control socket %s: %s\r\nRunning without control.\r\n",
                    name, std::strerror(errno));
        return false;
    }
    listener_ = new uv_pipe_t;
    uv_pipe_init(loop_, listener_, 0);
    listener_->data = this;
    int result = uv_pipe_open(listener_, fd);
    if (result != 0) {
        ::close(fd);  // not the handle's yet
    } else {
        result = uv_listen(stream(listener_), SOMAXCONN, on_connection);
    }
    if (result != 0) {
        screen_logf("Unable to listen on the control socket %s: %s\r\nRunning without control.\r\n",
                    name, uv_strerror(result));
        ::unlink(name);
        uv_close(handle(listener_), [](uv_handle_t* h) { delete reinterpret_cast<uv_pipe_t*>(h); });
        listener_ = nullptr;
        return false;
    }
    // What stop() removes: this file, not one put in its place meanwhile.
    if (::lstat(name, &st) != 0) st = {};
    path_ = path;
    socket_device_ = st.st_dev;
    socket_inode_ = st.st_ino;

    sweep_timer_ = new uv_timer_t;
    uv_timer_init(loop_, sweep_timer_);
    sweep_timer_->data = this;
    return true;
}

void ControlServer::stop() {
    conversations_.terminate_all();
    if (sweep_timer_ != nullptr) {
        uv_close(handle(sweep_timer_),
                 [](uv_handle_t* h) { delete reinterpret_cast<uv_timer_t*>(h); });
        sweep_timer_ = nullptr;
    }
    if (listener_ != nullptr) {
        // Only our own file: should someone have put another socket there
        // meanwhile, it stays.
        struct stat st {};
        if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == socket_device_ &&
            st.st_ino == socket_inode_) {
            ::unlink(path_.c_str());
        }
        uv_close(handle(listener_), [](uv_handle_t* h) { delete reinterpret_cast<uv_pipe_t*>(h); });
        listener_ = nullptr;
    }
}

ControlServer::Client* ControlServer::find(int id) {
    for (Client* c : clients_) {
        if (c->id == id) return c;
    }
    return nullptr;
}

void ControlServer::on_connection(uv_stream_t* listener, int status) {
    auto* self = static_cast<ControlServer*>(listener->data);
    if (status < 0) return;
    auto* c = new Client;
    c->server = self;
    c->id = self->next_id_++;
    uv_pipe_init(self->loop_, &c->pipe, 0);
    c->pipe.data = c;
    if (uv_accept(listener, stream(&c->pipe)) != 0 || self->clients_.size() >= kMaxClients) {
        c->closing = true;
        uv_close(handle(&c->pipe), [](uv_handle_t* h) { delete static_cast<Client*>(h->data); });
        return;
    }
    self->clients_.push_back(c);
    self->conversations_.connected(c->id, self->now_ms());
    uv_read_start(
        stream(&c->pipe),
        [](uv_handle_t* h, size_t, uv_buf_t* buffer) {
            auto* client = static_cast<Client*>(h->data);
            *buffer = uv_buf_init(client->read_buffer, sizeof client->read_buffer);
        },
        on_read);
    // The idle limit needs a clock only while someone is connected.
    if (!uv_is_active(handle(self->sweep_timer_))) {
        uv_timer_start(self->sweep_timer_, on_sweep, 1000, 1000);
    }
}

void ControlServer::on_read(uv_stream_t* s, ssize_t count, const uv_buf_t* buffer) {
    auto* c = static_cast<Client*>(s->data);
    ControlServer* self = c->server;
    if (count == 0 || c->closing) return;
    if (count < 0) {
        self->conversations_.disconnected(c->id);
        self->close(c->id);
        return;
    }
    uint64_t now_ms = self->now_ms();
    ++c->reading;
    c->reader.feed(buffer->base, static_cast<size_t>(count), [&](std::string_view line) {
        self->conversations_.line(c->id, line, now_ms);
        return !c->closing;
    });
    --c->reading;
    if (c->closed) {
        delete c;  // closed while a message box kept a command running
        return;
    }
    if (!c->closing && uv_stream_get_write_queue_size(s) > kMaxPendingOutput) {
        self->conversations_.disconnected(c->id);
        self->close(c->id);
    }
}

void ControlServer::on_sweep(uv_timer_t* timer) {
    auto* self = static_cast<ControlServer*>(timer->data);
    self->conversations_.sweep(self->now_ms());
    if (self->clients_.empty()) uv_timer_stop(timer);
}

void ControlServer::send(int client, const char* line) {
    Client* c = find(client);
    if (c == nullptr || c->closing) return;
    auto* w = new Write;
    format_text(w->text, sizeof w->text, "%s\n", line);
    uv_buf_t buffer = uv_buf_init(w->text, static_cast<unsigned>(std::strlen(w->text)));
    int result = uv_write(&w->request, stream(&c->pipe), &buffer, 1, [](uv_write_t* request, int) {
        delete reinterpret_cast<Write*>(request);
    });
    if (result != 0) delete w;  // the read side sees the broken connection
}

void ControlServer::close(int client) {
    Client* c = find(client);
    if (c == nullptr) return;
    std::erase(clients_, c);
    c->closing = true;
    uv_close(handle(&c->pipe), [](uv_handle_t* h) {
        auto* closed = static_cast<Client*>(h->data);
        closed->closed = true;
        if (closed->reading == 0) delete closed;
    });
}

}  // namespace qxs
