// The two small text routines all of request handling leans on.
#pragma once

namespace qxs {

// 1 when `text` begins with `prefix`, letters A-Z matching a-z (no other
// folding); 0 for nullptr arguments or a prefix longer than the text. An
// empty prefix matches.
int prefix_match(const char* text, const char* prefix);
// Removes trailing spaces (byte 32 only) in place; returns `text`.
char* trim_trailing_spaces(char* text);

}  // namespace qxs
