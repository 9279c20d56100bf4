#include "support/server_process.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <thread>

namespace qxs::test {

int free_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

ServerProcess::ServerProcess() : http_port_(free_port()), gopher_port_(free_port()) {
    while (gopher_port_ == http_port_) gopher_port_ = free_port();
}

ServerProcess::~ServerProcess() {
    if (pid_ > 0) stop(SIGKILL);
    if (input_fd_ >= 0) ::close(input_fd_);
}

bool ServerProcess::command(const std::string& line) {
    std::string text = line + "\n";
    return input_fd_ >= 0 &&
           ::write(input_fd_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

void ServerProcess::write_settings(const std::string& options, const std::string& extra) {
    // The caller's options come first: the first occurrence of a key wins.
    std::string ini = "[Options]\r\n" + options;
    ini += "httpport=" + std::to_string(http_port_) + "\r\n";
    ini += "gopherport=" + std::to_string(gopher_port_) + "\r\n";
    ini += "hostname=localhost\r\n";
    ini += "ip=127.0.0.1\r\n";
    ini += "webdir=c:\\html\\\r\n";
    ini += "gopherdir=c:\\gopher\\\r\n";
    ini += "logdir=c:\\logs\\\r\n";
    ini += "tempdir=c:\\temp\\\r\n";
    ini += extra;
    home_.write("qxserver.ini", ini);
    home_.write("html/.keep", "");
    home_.write("gopher/.keep", "");
    home_.write("logs/.keep", "");
    home_.write("temp/.keep", "");
}

bool ServerProcess::start(const std::vector<std::string>& extra_args, bool wait_for_listening) {
    std::string out = home_.file("screen.log");
    std::string err = home_.file("stderr.log");
    // A restart must not find the previous run's lines.
    ::unlink(out.c_str());
    ::unlink(err.c_str());
    int input[2];
    if (pipe2(input, O_CLOEXEC) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(input[0], 0);
        int out_fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err_fd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out_fd, 1);
        dup2(err_fd, 2);
        std::vector<std::string> args = {QXSERVER_BINARY, "--headless", "--home", home_.path()};
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        // Run from elsewhere than the home: names must resolve against the
        // home, never against the current directory.
        if (chdir("/") != 0) _exit(126);
        // Keep the log lock of each test to itself.
        setenv("XDG_RUNTIME_DIR", home_.path().c_str(), 1);
        for (const auto& [name, value] : environment_) setenv(name.c_str(), value.c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(input[0]);
    input_fd_ = input[1];
    if (pid_ < 0) return false;
    if (wait_for_listening) return wait_for_log("Listening...\r\n");
    // Settled: running with its banner out, or ended.
    return wait_for_log("for the latest version.\r\n") || has_exited();
}

bool ServerProcess::has_exited() const {
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    pid_ = -1;
    return true;
}

int ServerProcess::stop(int signal_number) {
    if (pid_ <= 0) return exit_status_;
    ::kill(pid_, signal_number);
    int status = 0;
    for (int i = 0; i < 500; ++i) {  // up to 5 seconds
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return -1;
}

std::string ServerProcess::screen_log() const {
    return TempDir::read(home_.file("screen.log"));
}

std::string ServerProcess::standard_error() const {
    return TempDir::read(home_.file("stderr.log"));
}

bool ServerProcess::wait_for_log(const std::string& text,
                                 std::chrono::milliseconds deadline) const {
    auto until = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < until) {
        if (screen_log().find(text) != std::string::npos) return true;
        if (has_exited()) return screen_log().find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace qxs::test
