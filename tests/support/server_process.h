// The real qxserver binary, started headless in a temporary home on free
// loopback ports, for end-to-end tests. Its screen log (standard output)
// and standard error go to files in the home; stop() ends it with SIGTERM
// and tells how it ended.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace qxs::test {

// A free TCP port on 127.0.0.1 (bound and released, so another program could
// take it in between; good enough for tests).
inline int free_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

class ServerProcess {
public:
    ServerProcess() : http_port_(free_port()), gopher_port_(free_port()) {
        while (gopher_port_ == http_port_) gopher_port_ = free_port();
    }
    ~ServerProcess() {
        if (pid_ > 0) stop(SIGKILL);
        if (input_fd_ >= 0) ::close(input_fd_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    TempDir& home() { return home_; }
    int http_port() const { return http_port_; }
    int gopher_port() const { return gopher_port_; }

    // The settings file: the [Options] block with the caller's options first
    // (the first occurrence of a key wins), then the ports and the document
    // and log directories (html, gopher, logs, temp under the home), plus
    // `extra` appended as it stands (more keys or sections).
    void write_settings(const std::string& options = "", const std::string& extra = "") {
        home_.write("qxserver.ini",
                    "[Options]\r\n" + options + "httpport=" + std::to_string(http_port_) +
                        "\r\ngopherport=" + std::to_string(gopher_port_) +
                        "\r\nhostname=localhost\r\nip=127.0.0.1\r\nwebdir=c:\\html\\\r\n"
                        "gopherdir=c:\\gopher\\\r\nlogdir=c:\\logs\\\r\ntempdir=c:\\temp\\\r\n" +
                        extra);
        for (const char* dir : {"html", "gopher", "logs", "temp"})
            home_.write(dir + std::string("/.keep"), "");
    }

    // Starts the server and waits for "Listening...\r\n" (or, with
    // wait_for_listening false, for the start-up to settle). False when it
    // did not get there before the deadline.
    // Starts the server and waits for "Listening...\r\n" (or, with
    // wait_for_listening false, for the start-up to settle: the banner out,
    // or the program ended). False when it did not get there in time.
    bool start(const std::vector<std::string>& extra_args = {}, bool wait_for_listening = true) {
        const std::string out = home_.file("screen.log"), err = home_.file("stderr.log");
        // A restart must not find the previous run's lines.
        ::unlink(out.c_str());
        ::unlink(err.c_str());
        int input[2];
        if (pipe2(input, O_CLOEXEC) != 0) return false;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(input[0], 0);
            dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
            dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
            // Run from elsewhere than the home: names must resolve against the
            // home, never against the current directory.
            if (chdir("/") != 0) _exit(126);
            // Keep the log lock of each test to itself.
            setenv("XDG_RUNTIME_DIR", home_.path().c_str(), 1);
            for (const auto& [name, value] : environment_) setenv(name.c_str(), value.c_str(), 1);
            std::vector<std::string> args = {QXSERVER_BINARY, "--headless", "--home", home_.path()};
            args.insert(args.end(), extra_args.begin(), extra_args.end());
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        ::close(input[0]);
        input_fd_ = input[1];
        if (pid_ <= 0) return false;
        if (wait_for_listening) return wait_for_log("Listening...\r\n");
        return wait_for_log("for the latest version.\r\n") || has_exited();
    }
    // An environment variable the server is started with ("TZ").
    void set_environment(const std::string& name, const std::string& value) {
        environment_.emplace_back(name, value);
    }
    // The signal, then waits; the exit status (or -1 when it had to be
    // killed or died of a signal).
    int stop(int signal_number = SIGTERM) {
        if (pid_ > 0) ::kill(pid_, signal_number);
        for (int i = 0; i < 500 && !has_exited(); ++i) {  // up to 5 seconds
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = exit_status_ = -1;
        }
        return exit_status_;
    }
    // Whether the server has ended by itself (its status is kept for stop).
    bool has_exited() const {
        int status = 0;
        if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
            exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            pid_ = -1;
        }
        return pid_ <= 0;
    }
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Types an operator command on the server's standard input ("pause").
    bool command(const std::string& line) {
        std::string text = line + "\n";
        return input_fd_ >= 0 &&
               ::write(input_fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }

    // Everything written to the screen log so far.
    std::string screen_log() const { return TempDir::read(home_.file("screen.log")); }
    std::string standard_error() const { return TempDir::read(home_.file("stderr.log")); }
    // Waits until the screen log contains `text`.
    bool wait_for_log(const std::string& text,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) const {
        auto until = std::chrono::steady_clock::now() + deadline;
        while (std::chrono::steady_clock::now() < until) {
            if (screen_log().find(text) != std::string::npos) return true;
            if (has_exited()) return screen_log().find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

private:
    TempDir home_;
    int http_port_;
    int gopher_port_;
    mutable pid_t pid_ = -1;
    int input_fd_ = -1;  // the server's standard input
    mutable int exit_status_ = -1;
    std::vector<std::pair<std::string, std::string>> environment_;
};

}  // namespace qxs::test
