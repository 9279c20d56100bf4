// Escaping for client text echoed into an HTML answer, so a request line or
// a path cannot inject markup into the page the server sends back.
#pragma once

#include <cstddef>

namespace qxs {

// Copies `text` into `out` (room for `size` bytes) with "&", "<", ">" and
// "\"" written as "&amp;", "&lt;", "&gt;" and "&quot;"; every other byte is
// copied as it stands. The result is always terminated (when `size` > 0) and
// never ends in a partial entity: what does not fit is left out. nullptr
// gives "". Returns the length written.
size_t html_escape(const char* text, char* out, size_t size);

}  // namespace qxs
