// Answers to GET and HEAD: the report pages, the redirects that keep URLs
// canonical, image-map clicks, CGI programs by extension, directory
// listings, files, and the 400, 401 and 404 answers.
#pragma once

namespace qxs {

struct Connection;

// Answers a complete GET or HEAD request. `full_request` 1 sends the 200
// header before a file; 0 (no version word) sends the file bare.
void serve_get(Connection& c, int full_request);
// A 302 answer to `url`, then the connection is closed.
void send_redirect(Connection& c, const char* url);
// The 404 answer for c.path with the error-log line; `result` is the mapping
// result (-10 adds the double-period paragraph). Closes the connection.
void send_not_found(Connection& c, int result);

}  // namespace qxs
