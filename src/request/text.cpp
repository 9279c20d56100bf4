#include "request/text.h"

#include <cstring>

#include "platform/strings.h"

namespace qxs {

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
