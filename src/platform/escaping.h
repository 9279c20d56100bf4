// Escaping and unescaping of text that crosses the network: URL-encoded
// request paths, form bodies and settings decoded in place, and client text
// escaped before it is echoed into an HTML page.
#pragma once

#include <cstddef>

namespace qxs {

// "+" becomes a space, "&" a carriage return, "%" and two characters the
// byte they spell; anything else stays. Returns `text` (nullptr for nullptr).
char* url_decode(char* text);
// '0'-'9', 'A'-'F', 'a'-'f' give 0-15; anything else 0.
int hex_digit_value(char c);

// Copies `text` into `out` (room for `size` bytes) with "&", "<", ">" and
// "\"" written as "&amp;", "&lt;", "&gt;" and "&quot;", so that a request
// line or a path cannot inject markup into a page; every other byte is
// copied as it stands. The result is always terminated (when `size` > 0)
// and never ends in a partial entity: what does not fit is left out.
// nullptr gives "". Returns the length written.
size_t html_escape(const char* text, char* out, size_t size);

// Copies `text` into `out` (room for `size` bytes) with the bytes a URL
// cannot carry as they stand written as "%XX": blanks and control bytes,
// bytes above 127, '"', '<' and '>' always, and every byte of `also`. Cut
// at a whole character; always terminated when `size` > 0. Returns the
// length.
size_t percent_encode(const char* text, const char* also, char* out, size_t size);

// What else a path part of a link must encode: what would end it or change
// it ('#', '?', '%', a quote), and what this server's decoding of request
// paths turns into something else ('&' into CR, '+' into a blank).
inline constexpr const char* kPathUnsafe = "#?%'&+";

}  // namespace qxs
