#include "platform/escaping.h"

#include <cstring>

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

namespace {
const char* entity_for(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        default:
            return nullptr;
    }
}

}  // namespace

size_t html_escape(const char* text, char* out, size_t size) {
    if (size == 0) return 0;
    size_t n = 0;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        const char* entity = entity_for(*p);
        size_t length = entity != nullptr ? std::strlen(entity) : 1;
        if (n + length >= size) break;
        if (entity != nullptr) {
            std::memcpy(out + n, entity, length);
        } else {
            out[n] = *p;
        }
        n += length;
    }
    out[n] = '\0';
    return n;
}

size_t percent_encode(const char* text, const char* also, char* out, size_t size) {
    static const char kHex[] = "0123456789ABCDEF";
    if (size == 0) return 0;
    size_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
         p != nullptr && *p != 0; ++p) {
        const bool encoded = *p <= ' ' || *p >= 0x7f || *p == '"' || *p == '<' || *p == '>' ||
                             std::strchr(also, *p) != nullptr;
        const size_t need = encoded ? 3 : 1;
        if (n + need >= size) break;
        if (encoded) {
            out[n++] = '%';
            out[n++] = kHex[*p >> 4];
            out[n++] = kHex[*p & 15];
        } else {
            out[n++] = static_cast<char>(*p);
        }
    }
    out[n] = '\0';
    return n;
}

}  // namespace qxs
