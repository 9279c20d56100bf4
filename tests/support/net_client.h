// A plain TCP client for end-to-end tests, and a runner for command-line
// clients (curl, lynx) with a time limit.
#pragma once

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>

namespace qxs::test {

using Clock = std::chrono::steady_clock;

// Waits (up to the deadline) for something to read on fd.
inline bool readable(int fd, Clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    pollfd p{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&p, 1, static_cast<int>(left.count())) > 0;
}

class Client {
public:
    // Connects to 127.0.0.1:port.
    explicit Client(int port) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) close();
    }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes, int flags = 0) {
        for (size_t done = 0; done < bytes.size();) {
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, flags | MSG_NOSIGNAL);
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    // Sends urgent (out-of-band) data.
    bool send_urgent(const std::string& bytes) { return send(bytes, MSG_OOB); }
    // Shuts down the sending side only.
    void shutdown_sending() { ::shutdown(fd_, SHUT_WR); }
    // Closes with a reset (SO_LINGER 0) instead of an orderly close.
    void reset() {
        linger value{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof value);
        close();
    }
    // Sets the receive buffer size (before sending the request), so a test
    // can keep a transfer from completing at once.
    void set_receive_buffer(int bytes) {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    // Up to `count` bytes, waiting at most `limit`.
    std::string read_some(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::string out;
        auto until = Clock::now() + limit;
        char buffer[65536];
        while (out.size() < count && fd_ >= 0 && readable(fd_, until)) {
            ssize_t n = ::recv(fd_, buffer, std::min(count - out.size(), sizeof buffer), 0);
            if (n <= 0) break;
            out.append(buffer, static_cast<size_t>(n));
        }
        return out;
    }
    // Everything until the server closes the connection or the limit passes.
    std::string read_all(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return read_some(std::string::npos, limit);
    }

private:
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd_;
};

// Sends a whole request and returns the whole answer.
inline std::string exchange(int port, const std::string& request) {
    Client client(port);
    return client.connected() && client.send(request) ? client.read_all() : "";
}

struct CommandResult {
    int status = -1;     // exit status, -1 when killed or not run
    std::string output;  // standard output
};
// Runs a shell command line with a time limit; standard error is dropped
// unless the command redirects it.
inline CommandResult run_command(const std::string& command_line,
                                 std::chrono::seconds limit = std::chrono::seconds(30)) {
    CommandResult result;
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipe_fds[1], 1);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        setpgid(0, 0);
        execl("/bin/sh", "sh", "-c", command_line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(pipe_fds[1]);
    auto until = Clock::now() + limit;
    char buffer[65536];
    ssize_t n = 0;
    while (Clock::now() < until) {
        if (!readable(pipe_fds[0], until)) continue;
        if ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) <= 0) break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipe_fds[0]);
    const bool timed_out = n > 0 || Clock::now() >= until;
    if (timed_out) ::kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = (!timed_out && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}

// True when the program is on the PATH.
inline bool have_program(const std::string& name) {
    return run_command("command -v " + name + " >/dev/null 2>&1").status == 0;
}

// The page at `url` as headless Chromium builds it (its DOM), with a fresh
// profile in `profile_dir`; "" when Chromium failed.
inline std::string chromium_dom(const std::string& url, const std::string& profile_dir) {
    CommandResult dom = run_command(
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir='" +
            profile_dir + "' --dump-dom '" + url + "' 2>/dev/null",
        std::chrono::seconds(60));
    return dom.status == 0 ? dom.output : "";
}

}  // namespace qxs::test
