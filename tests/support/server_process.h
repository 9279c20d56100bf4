// The real qxserver binary, started headless in a temporary home on free
// loopback ports, for end-to-end tests. Its screen log (standard output)
// and standard error go to files in the home; stop() ends it with SIGTERM
// and tells how it ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace qxs::test {

// A free TCP port on 127.0.0.1 (bound and released, so another program could
// take it in between; good enough for tests).
int free_port();

class ServerProcess {
public:
    ServerProcess();
    ~ServerProcess();
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    TempDir& home() { return home_; }
    int http_port() const { return http_port_; }
    int gopher_port() const { return gopher_port_; }

    // The settings file: the [Options] block with the ports, the document
    // and log directories (html, gopher, logs, temp under the home), plus
    // `extra` appended as it stands (more keys or sections). CR LF line ends.
    void write_settings(const std::string& options = "", const std::string& extra = "");

    // Starts the server and waits for "Listening...\r\n" (or, with
    // wait_for_listening false, for the start-up to settle: the banner out,
    // or the program ended). False when it did not get there before the
    // deadline.
    bool start(const std::vector<std::string>& extra_args = {}, bool wait_for_listening = true);
    // SIGTERM, then waits; the exit status (or -1 when it had to be killed
    // or died of a signal).
    int stop(int signal_number = 15);
    // How the server ended by itself, once it has (see has_exited).
    bool has_exited() const;
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // An environment variable the server is started with ("TZ").
    void set_environment(const std::string& name, const std::string& value) {
        environment_.emplace_back(name, value);
    }

    // Types an operator command on the server's standard input ("pause").
    bool command(const std::string& line);

    // Everything written to the screen log so far.
    std::string screen_log() const;
    std::string standard_error() const;
    // Waits until the screen log contains `text`.
    bool wait_for_log(const std::string& text,
                      std::chrono::milliseconds deadline = std::chrono::seconds(10)) const;

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
