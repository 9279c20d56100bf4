#include "logging/url_decode.h"

#include <cstddef>

namespace qxs {

int hex_digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

char* url_decode(char* text) {
    if (text == nullptr) return nullptr;
    size_t in = 0;
    size_t out = 0;
    while (text[in] != '\0') {
        char c = text[in++];
        if (c == '+') {
            text[out++] = ' ';
        } else if (c == '&') {
            text[out++] = '\r';
        } else if (c == '%') {
            // A digit missing at the end of the text counts as "0"; the
            // terminator is never stepped over.
            char high = text[in];
            char low = high != '\0' ? text[in + 1] : '\0';
            text[out++] = static_cast<char>(16 * hex_digit_value(high) + hex_digit_value(low));
            if (low == '\0') break;
            in += 2;
        } else {
            text[out++] = c;
        }
    }
    text[out] = '\0';
    return text;
}

}  // namespace qxs
