// POST requests: to a script, or to a message board.
#pragma once

namespace qxs {

struct Connection;

// Called when a POST body is complete in the slot's content file.
void post_dispatch(Connection& c);

}  // namespace qxs
