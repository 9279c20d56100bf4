// Bounded text helpers for the fixed-size buffers of the server.
#pragma once

#include <cstddef>

namespace qxs {

// Copies at most size-1 bytes of `text` into `out` and terminates it;
// nullptr copies as "". Returns the number of bytes copied.
size_t copy_text(char* out, size_t size, const char* text);

// Appends at most what fits of `text` to the terminated text in `out`.
size_t append_text(char* out, size_t size, const char* text);

// printf into `out`, cut to `size`; returns the length written (never more
// than size-1), so calls can be chained safely.
size_t format_text(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// ASCII-only case folding, as the server's comparisons use.
inline char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
inline char ascii_upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
// Compares two texts ignoring ASCII case: 0 when equal.
int compare_no_case(const char* a, const char* b);

// 1 when `text` begins with `prefix`, letters A-Z matching a-z (no other
// folding); 0 for nullptr arguments or a prefix longer than the text. An
// empty prefix matches.
int prefix_match(const char* text, const char* prefix);
// Removes trailing spaces (byte 32 only) in place; returns `text`.
char* trim_trailing_spaces(char* text);

// Either slash separates the pieces of a path, as on DOS.
inline bool is_path_separator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace qxs
