// The names under which hits and referers are counted in counts.qxs and
// referer.qxs, shared by the writer (when a connection closes) and the page
// variables (which show a page's count while it is sent).
#pragma once

#include <cstddef>

namespace qxs {

// The logged form of a request line: at most 255 characters of it, with the
// query (from "?" up to the next blank) left out unless `keep_query`;
// "GopherRoot" for an empty one.
void logged_request(const char* raw_command, bool keep_query, char* out, size_t size);
// The counter key of a logged request: the path (second word, ended by a
// blank or "?") of a GET, HEAD or POST line, "/" when it has none; the whole
// request otherwise (gopher selectors, "GopherRoot"). The key is written
// INI-safe (see ini_safe_name).
void counter_key(const char* logged, char* out, size_t size);
// `text` made safe as an INI key or section name: the characters the INI
// format reserves ('=', '[', ']', ';') and control bytes are percent-encoded
// ("%3D"), so that every page and referer keeps exactly one entry. A '%'
// already in a URL stays as it is, so the usual keys ("/my%20page.htm") read
// the same to other programs; "%3D" and "=" in a URL name the same resource
// anyway. Cut to fit `size`, never in the middle of an escape.
void ini_safe_name(const char* text, char* out, size_t size);

}  // namespace qxs
