// The tick's supervision pass: connections still reading their request too
// long after their accept are closed, and CGI programs that have ended or
// run out of time have their answer sent.
#pragma once

#include <ctime>

namespace qxs {

namespace process {
struct Child;
}

inline constexpr int kReadTimeoutSeconds = 60;

// One pass over every slot at time `now` (whole seconds). A program that
// runs past the Timeout setting (counted from the accept) is answered with
// "<h1>CGI timeout</h1>" and ended; one that has ended has its output file
// relayed: a "Location" first line as a redirect, a "Content-type" first
// line behind the server's status line, anything else as it stands.
void cgi_monitor_pass(time_t now);

// The zero-wait test: 1 while the program runs, 0 once it has ended or
// when it cannot be tested.
int cgi_still_running(const process::Child* child);

}  // namespace qxs
