// Sending: short texts go out at once; a file is queued and then moved out
// block by block by the tick, a bounded number of blocks per turn and one
// connection per tick, so one large transfer never starves the others. HTML
// blocks pass through page-variable substitution on the way.
#pragma once

namespace qxs {

struct Connection;
struct ConnectionTable;

// One send attempt of the whole text; failures are only logged (debug1) and
// a short send is not completed. nullptr sends nothing.
void send_text(Connection& c, const char* text);
// send_text for a header that the rest of the answer follows at once (a
// queued file, or the close): it may wait in the socket for them, so that a
// short answer leaves in one segment.
void send_header(Connection& c, const char* text);
// Opens the file (a DOS-style name) and puts the connection in state Send,
// starting at byte `offset`. `item_kind` (0 gopher text, 1 other) does not
// change the transfer. A file that cannot be opened closes the connection.
void queuegopherfile(Connection& c, const char* file_name, int item_kind, long offset);
// Whether a file goes out through page-variable substitution: an HTML file,
// its extension (of the last component) beginning "HTM" or "htm". Its
// length on the wire is not its size on disk.
bool is_substituted(const char* file_name);
// One send turn: the bytes sent. May close the connection.
long send_step(Connection& c);
// Gives the next connection in state Send (round robin) its turn; 1 when
// some connection sent bytes.
int timer_send_pass(ConnectionTable& table);

}  // namespace qxs
