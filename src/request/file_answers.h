// Answers to GET and HEAD: the report pages, the redirects that keep URLs
// canonical, image-map clicks, CGI programs by extension, directory
// listings, files, and the 400, 401 and 404 answers.
#pragma once

namespace qxs {

struct Connection;

// Answers a complete GET or HEAD request. `full_request` 1 sends the 200
// header before a file; 0 (no version word) sends the file bare.
void serve_get(Connection& c, int full_request);

}  // namespace qxs
