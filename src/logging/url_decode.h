// The in-place decoder for URL-encoded text: request paths, form bodies and
// settings.
#pragma once

namespace qxs {

// "+" becomes a space, "&" a carriage return, "%" and two characters the
// byte they spell; anything else stays. Returns `text` (nullptr for nullptr).
char* url_decode(char* text);
// '0'-'9', 'A'-'F', 'a'-'f' give 0-15; anything else 0.
int hex_digit_value(char c);

}  // namespace qxs
