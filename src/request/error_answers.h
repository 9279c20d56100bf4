// The answers that end a request without a document (the redirect, 400,
// 401, 403 for a restricted host, 404), and the response buffer that
// headers and error pages are formatted into.
#pragma once

#include <cstddef>

namespace qxs {

struct Connection;

inline constexpr size_t kResponseBufferSize = 1024;

// One buffer shared by all connections, allocated on the first call and kept
// for the life of the process; nullptr when memory cannot be had. A text
// formatted into it is sent at once, so sharing is safe on the one thread.
char* response_buffer();

// The status line and Content-type that today's clients need before an
// error text which would otherwise go out bare (they refuse an answer
// without a status line). Only a request whose line carried a version word
// gets them; a simple request and every gopher request get the text alone,
// byte for byte as before. `status` is one of 400, 403, 404, 413, 500, 502,
// 504.
void send_error_status(Connection& c, int status);

// Each sends its answer and closes the connection.
// A 302 answer to `url`.
void send_redirect(Connection& c, const char* url);
// The 404 answer for c.path with the error-log line; `result` is the mapping
// result (-10 adds the double-period paragraph).
void send_not_found(Connection& c, int result);
// The bad-path text (no status line), echoing the request line.
void send_bad_path(Connection& c);
// 413: the request announced a body larger than this server stores.
void send_body_too_large(Connection& c);
// 401 with the configured realm.
void send_refused(Connection& c);
// A host that an alias's access word keeps out: the redirect configured for
// that word in [Host Restrictions], else 403.
void send_host_restricted(Connection& c);

}  // namespace qxs
