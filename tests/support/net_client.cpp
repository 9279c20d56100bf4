#include "support/net_client.h"

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qxs::test {

Client::Client(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

Client::~Client() {
    if (fd_ >= 0) ::close(fd_);
}

bool Client::send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Client::send_urgent(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_OOB | MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

void Client::shutdown_sending() {
    ::shutdown(fd_, SHUT_WR);
}

void Client::reset() {
    linger value{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof value);
    ::close(fd_);
    fd_ = -1;
}

void Client::set_receive_buffer(int bytes) {
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

std::string Client::read_some(size_t count, std::chrono::milliseconds limit) {
    std::string out;
    auto until = std::chrono::steady_clock::now() + limit;
    while (out.size() < count && fd_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[65536];
        size_t want = count - out.size() < sizeof buffer ? count - out.size() : sizeof buffer;
        ssize_t n = ::recv(fd_, buffer, want, 0);
        if (n <= 0) break;
        out.append(buffer, static_cast<size_t>(n));
    }
    return out;
}

std::string Client::read_all(std::chrono::milliseconds limit) {
    return read_some(std::string::npos, limit);
}

bool Client::closed_by_server(std::chrono::milliseconds limit) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) return false;
    char byte;
    ssize_t n = ::recv(fd_, &byte, 1, MSG_PEEK);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

std::string exchange(int port, const std::string& request) {
    Client client(port);
    if (!client.connected() || !client.send(request)) return "";
    return client.read_all();
}

CommandResult run_command(const std::string& command_line, std::chrono::seconds limit) {
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
    auto until = std::chrono::steady_clock::now() + limit;
    bool timed_out = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timed_out = true;
            break;
        }
        pollfd p{pipe_fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[65536];
        ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    ::close(pipe_fds[0]);
    if (timed_out) ::kill(-pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    result.status = (!timed_out && WIFEXITED(status)) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string chromium_dom(const std::string& url, const std::string& profile_dir) {
    CommandResult dom = run_command(
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir='" +
            profile_dir + "' --dump-dom '" + url + "' 2>/dev/null",
        std::chrono::seconds(60));
    return dom.status == 0 ? dom.output : "";
}

bool have_program(const std::string& name) {
    return run_command("command -v " + name + " >/dev/null 2>&1").status == 0;
}

}  // namespace qxs::test
