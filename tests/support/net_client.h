// A plain TCP client for end-to-end tests, and a runner for command-line
// clients (curl, lynx) with a time limit.
#pragma once

#include <chrono>
#include <string>

namespace qxs::test {

class Client {
public:
    // Connects to 127.0.0.1:port (blocking socket with a receive time limit).
    explicit Client(int port);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Sends urgent (out-of-band) data.
    bool send_urgent(const std::string& bytes);
    // Shuts down the sending side only.
    void shutdown_sending();
    // Closes with a reset (SO_LINGER 0) instead of an orderly close.
    void reset();
    // Everything until the server closes the connection or the limit passes.
    std::string read_all(std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Up to `count` bytes, waiting at most `limit`.
    std::string read_some(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // True when the server has closed the connection (read gives 0) within
    // the limit, with nothing more to read.
    bool closed_by_server(std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Sets the receive buffer size (before sending the request), so a test
    // can keep a transfer from completing at once.
    void set_receive_buffer(int bytes);
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

// Sends a whole request and returns the whole answer.
std::string exchange(int port, const std::string& request);

struct CommandResult {
    int status = -1;     // exit status, -1 when killed or not run
    std::string output;  // standard output
};
// Runs a shell command line with a time limit; standard error is dropped
// unless the command redirects it.
CommandResult run_command(const std::string& command_line,
                          std::chrono::seconds limit = std::chrono::seconds(30));
// True when the program is on the PATH.
bool have_program(const std::string& name);
// The page at `url` as headless Chromium builds it (its DOM), with a fresh
// profile in `profile_dir`; "" when Chromium failed.
std::string chromium_dom(const std::string& url, const std::string& profile_dir);

}  // namespace qxs::test
