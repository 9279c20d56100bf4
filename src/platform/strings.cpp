#include "platform/strings.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace qxs {

size_t copy_text(char* out, size_t size, const char* text) {
    if (size == 0) return 0;
    size_t n = 0;
    if (text != nullptr) {
        while (n + 1 < size && text[n] != '\0') {
            out[n] = text[n];
            ++n;
        }
    }
    out[n] = '\0';
    return n;
}

size_t append_text(char* out, size_t size, const char* text) {
    size_t used = strnlen(out, size);
    if (used >= size) return used;
    return used + copy_text(out + used, size - used, text);
}

size_t format_text(char* out, size_t size, const char* format, ...) {
    if (size == 0) return 0;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(out, size, format, args);
    va_end(args);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

int compare_no_case(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = ascii_lower(*a);
        char y = ascii_lower(*b);
        if (x != y) return static_cast<unsigned char>(x) - static_cast<unsigned char>(y);
        if (x == '\0') return 0;
    }
}

int prefix_match(const char* text, const char* prefix) {
    if (text == nullptr || prefix == nullptr) return 0;
    for (size_t i = 0; prefix[i] != '\0'; ++i) {
        if (text[i] == '\0') return 0;
        if (text[i] != prefix[i] && ascii_lower(text[i]) != ascii_lower(prefix[i])) return 0;
    }
    return 1;
}

char* trim_trailing_spaces(char* text) {
    if (text == nullptr) return nullptr;
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
    return text;
}

}  // namespace qxs
