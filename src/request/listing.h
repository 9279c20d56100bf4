// Directory listings as HTML pages and gopher menus, with header files,
// link files ("menu.gop"), icons, sizes, dates and HTML titles.
#pragma once

#include <cstddef>

namespace qxs {

struct Connection;

// Answers a request for a directory: `virtual_path` is the request path
// (HTTP, ending in "/") or the selector without its type (gopher; "" for the
// root). `html` 1 gives the HTML form, 0 the gopher form.
void send_directory(Connection& c, const char* virtual_path, int html);

}  // namespace qxs
