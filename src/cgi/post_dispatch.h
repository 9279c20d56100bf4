// POST requests: to a script, or to a message board.
#pragma once

namespace qxs {

struct Connection;

// Called when a POST body is complete in the slot's content file. A path
// with an extension beginning "exe", "bat" or "pl" starts its program under
// an alias with scripts allowed; a path under "/messages/" without an
// extension posts to the board page "<path>.htm" (or, when that is missing,
// "<path less /messages>.htm") under an alias with message boards allowed.
// Everything else is refused with a text and closed.
void post_dispatch(Connection& c);

// Appends the visitor's entry to the board file `board` (a mapped name)
// and serves the updated page, whose path is in c.path.
void post_message(Connection& c, const char* board);

}  // namespace qxs
