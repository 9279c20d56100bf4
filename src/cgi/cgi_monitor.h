// The tick's supervision pass: connections still reading their request too
// long after their accept are closed, and finished CGI programs have their
// output relayed.
#pragma once

#include <ctime>

namespace qxs {

inline constexpr int kReadTimeoutSeconds = 60;

void cgi_monitor_pass(time_t now);

}  // namespace qxs
