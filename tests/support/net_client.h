// A plain TCP client for end-to-end tests, and a runner for command-line
// clients (curl, lynx) with a time limit.
#pragma once

#include <chrono>
#include <string>

namespace qxs::test {

class Client {
public:
    // Connects to 127.0.0.1:port.
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
    // Sets the receive buffer size (before sending the request), so a test
    // can keep a transfer from completing at once.
    void set_receive_buffer(int bytes);
    // Up to `count` bytes, waiting at most `limit`.
    std::string read_some(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Everything until the server closes the connection or the limit passes.
    std::string read_all(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        return read_some(std::string::npos, limit);
    }

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

}  // namespace qxs::test
