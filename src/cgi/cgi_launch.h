// Starting CGI programs for a request that names a script under an alias
// that allows scripts.
#pragma once

namespace qxs {

struct Connection;

// Starts the program for the connection, or answers and closes it.
void dopostcgi(Connection& c);

}  // namespace qxs
