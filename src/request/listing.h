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
// The title of an HTML file (<title>, else the first <h1>-<h3>), cut to
// `max` characters, in `out` (room for max+1); nullptr when none is found.
char* findHTMLtitle(const char* file_name, char* out, int max);
// Fills the link table from a link file: 0, or -1 when it cannot be opened.
int read_link_file(const char* file_name);

}  // namespace qxs
