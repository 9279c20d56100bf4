// The access log and the counters kept when a connection closes: a
// common-format line in qxs.log, hit counts per page and referer, and the
// running totals, all in the log directory and shared with other programs
// under the log mutex.
#pragma once

namespace qxs {

struct Connection;

// Records a connection that is being closed, while all its fields are set:
// the log line (when `logany`), the page's count in "Commands" of counts.qxs
// (when `countfilehits`), the referer's count in referer.qxs (when
// `countreferer`) and the totals in "Totals" of counts.qxs. The whole update
// runs while owning the log mutex (engine.log_mutex), which is released on
// every path out. Without the mutex (none could be created, or another
// program kept it for two seconds: that is told on the screen log) it runs
// unguarded rather than lose the record or stop the server. File errors
// leave the rest of the update to go on; each file that failed is told.
void write_access_log(Connection& c);
// Reads the running totals back from counts.qxs at start-up (without the
// mutex); entries that are missing count from 0.
void load_totals();

// The running totals, kept across restarts in "Totals" of counts.qxs.
struct LogTotals {
    long connects = 0;       // connections logged
    long files_sent_ok = 0;  // of those, the ones logged with status 200
    double bytes_sent = 0;   // bytes sent to all of them
};
const LogTotals& log_totals();

}  // namespace qxs
