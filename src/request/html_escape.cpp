#include "request/html_escape.h"

#include <cstring>

namespace qxs {
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

}  // namespace qxs
