#include "cgi/cgi_monitor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/file_names.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "request/error_answers.h"

namespace qxs {
namespace {

// The part of a program's first line that is looked at.
constexpr size_t kFirstLineMax = 254;

void close_handle(int& fd, const char* failure) {
    if (fd == kNoDescriptor) return;
    if (::close(fd) != 0) screen_log(failure);
    fd = kNoDescriptor;
}

// Answers from the program's output file by its first line.
void relay_output(Connection& c, const char* output) {
    int fd = dos::open(output, O_RDONLY);
    if (fd < 0) {
        queuegopherfile(c, output, 1, 0);
        return;
    }
    char line[kFirstLineMax + 1];
    ssize_t n;
    do {
        n = ::read(fd, line, kFirstLineMax);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    const size_t got = n > 0 ? static_cast<size_t>(n) : 0;
    line[got] = '\0';
    // The first line, and where what follows it begins in the file.
    size_t length = std::strcspn(line, "\n");
    const long rest = static_cast<long>(length < got ? length + 1 : length);
    line[length] = '\0';
    if (length > 0 && line[length - 1] == '\r') line[--length] = '\0';

    const size_t key_length = std::strcspn(line, " :");
    char* value = line + key_length;
    if (*value != '\0') *value++ = '\0';
    if (*value == ' ') ++value;
    // A header name with nothing after it is no answer of its own: such a
    // first line goes out with the rest, like any other.
    if (*value != '\0' && prefix_match(line, "Location")) {
        send_redirect(c, value);
        return;
    }
    if (*value != '\0' && prefix_match(line, "Content-type")) {
        char header[kFirstLineMax + 96];
        format_text(header, sizeof header,
                    "HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-type: %s\r\n", value);
        send_header(c, header);
        queuegopherfile(c, output, 1, rest);
        return;
    }
    queuegopherfile(c, output, 1, 0);
}

void watch_program(Connection& c, time_t now) {
    const bool timed_out = difftime(now, c.start_time) > settings.Timeout;
    if (!timed_out && cgi_still_running(c.cgi_process) == 1) return;
    close_handle(c.cgi_out_handle, "\r\n**Error closing CGI Output file at 2\r\n");
    close_handle(c.cgi_in_handle, "\r\n**Error closing CGI Input file at 2\r\n");
    if (timed_out) {
        send_error_status(c, 504);
        send_text(c, "<h1>CGI timeout</h1>");
        screen_log("CGI timed out\r\n");
        set_status_text(c, "CGI timeout");
        // The close ends the program and everything it started.
        close_connection(c);
        return;
    }
    char output[sizeof settings.tempdir + 32];
    format_text(output, sizeof output, "%sCGI-ou%d.qxs", settings.tempdir, c.slot);
    if (file_size_and_date(output, nullptr, nullptr) == 0) {
        send_error_status(c, 502);
        send_text(c, "<h1>CGI no output</h1>");
        screen_log("CGI no output\r\n");
        set_status_text(c, "CGI no output");
        close_connection(c);
        return;
    }
    relay_output(c, output);
}

}  // namespace

int cgi_still_running(const process::Child* child) {
    const process::Status status = process::status(child);
    if (status.state == process::State::kRunning) {
        if (settings.debug1) screen_log("CGI script is still_active.\r\n");
        return 1;
    }
    if (status.state == process::State::kFailed) {
        screen_log("Error doing WaitForSingleObject for CGI script.\r\n");
        screen_log(process::last_error_text());
        screen_log("\r\n");
    }
    screen_log("CGI script is no longer running.\r\n");
    return 0;
}

void cgi_monitor_pass(time_t now) {
    for (Connection& c : engine.table->records) {
        if (c.state == kCgiWait) {
            watch_program(c, now);
            continue;
        }
        if (c.state == kRead && c.hold_until != 0) {
            // Its answer is out; the hold is not a time-out.
            if (difftime(now, c.hold_until) >= 0) close_connection(c);
            continue;
        }
        // Exactly the limit is not yet too long.
        if (c.state == kRead && difftime(now, c.start_time) > kReadTimeoutSeconds) {
            screen_log("Connection timed out on read\r\n");
            set_status_text(c, "Connection timeout");
            close_connection(c);
        }
    }
}

}  // namespace qxs
