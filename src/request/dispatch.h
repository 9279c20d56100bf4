// The single entry of request handling: every line and body piece of a
// connection's input arrives here, and the first line decides whether the
// connection speaks HTTP, gopher, or one of the bare commands.
#pragma once

namespace qxs {

struct Connection;

// `c.line` holds the piece; `count` is the line's length or the body bytes.
void handle_line(Connection& c, int count);

}  // namespace qxs
