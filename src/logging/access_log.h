// The access log and the counters kept when a connection closes: a
// common-format line in qxs.log, hit counts per page and referer, and the
// running totals, all in the log directory and shared with other programs
// under the log mutex.
#pragma once

namespace qxs {

struct Connection;

// Records a connection that is being closed, while all its fields are set.
void write_access_log(Connection& c);
// Reads the running totals back from counts.qxs at start-up.
void load_totals();

}  // namespace qxs
