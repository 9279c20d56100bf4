// Reading a request: the bytes of a connection in state Read are cut into
// lines (LF ends a line, CR is dropped) and then body pieces, each handed to
// handle_line. Never blocks, never allocates: works in the slot's pbuffin
// and linebuf.
//
// A request that never completes is not the reader's business: the tick's
// supervision pass (cgi_monitor_pass, cgi/cgi_monitor.h) closes a
// connection still reading kReadTimeoutSeconds (60) after its accept.
#pragma once

namespace qxs {

struct Connection;

// One read step. `event` is FD_READ or FD_OOB for a notification, 0 for the
// tick's poll. Afterwards the connection may be in any state, Idle included.
void read_step(Connection& c, int event);

}  // namespace qxs
