// Gopher requests: the root menu, menus, files by selector, the selectors
// clients derive from URLs, and the minimal gopher+ replies that the
// common gopher+ client needs before it shows a plain menu.
#pragma once

namespace qxs {

struct Connection;

// What a gopher client appended after a TAB: nothing, or a gopher+ request
// for the attributes of a directory's items ("$") or of one item ("!").
enum class GopherPlus { kNone, kDirectory, kItem };

// Answers a gopher request whose selector is `line` (the text before its
// first TAB): "" the root menu; "1..." a menu; a type letter and a path a
// file; and, from the gopher port, a path beginning with "/" names a
// directory (its menu) or a file of the gopher tree directly.
void serve_gopher(Connection& c, const char* line, GopherPlus plus);

// A selector the gopher port does not understand: a gopher error item that
// echoes it, and the terminator.
void answer_gopher_error(Connection& c);

}  // namespace qxs
