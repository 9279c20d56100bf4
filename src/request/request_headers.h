// The part of a full HTTP request after its request line: the header lines
// the server keeps, the body collected into the slot's content file, and
// the hand-over of the complete request. Called by handle_line only.
#pragma once

#include <cstddef>

namespace qxs {

struct Connection;

// A word of a request line or header: `length` bytes at `start`, not
// terminated there.
struct Word {
    const char* start = nullptr;
    size_t length = 0;
};

// The next word of `cursor` between any of `separators`, runs of which count
// as one; `cursor` moves past it. An empty word when the text is used up.
Word next_word(const char*& cursor, const char* separators);

// One non-empty header line in `c.line`. User-Agent, Referer,
// Content-length, Content-type and Authorization are kept (cut or dropped
// when too long); every other header is ignored.
void header_line(Connection& c);
// The end of the headers (`count` 0) or `count` body bytes at `c.line`,
// which may hold NUL bytes. Once `content_length` bytes are stored, GET and
// HEAD go to serve_get and POST to post_dispatch. A body announced larger
// than kMaxRequestBody is refused at once (413) and never stored.
inline constexpr long kMaxRequestBody = 1L << 20;
void body_piece(Connection& c, int count);
// The slot's content file, "<tempdir>CGI-co<slot>.qxs".
void content_file_name(const Connection& c, char* out, size_t size);

}  // namespace qxs
