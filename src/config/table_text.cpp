#include "config/table_text.h"

#include <cstdlib>
#include <cstring>

#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs::config {

char* heap_copy(const char* text) {
    if (text == nullptr) return nullptr;
    size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}

bool read_numbered(const char* file, const char* section, const char* prefix, int n, char* line,
                   int size) {
    char key[64];
    format_text(key, sizeof key, "%s%d", prefix, n);
    return profile::get_string(section, key, "", line, size, file) > 0 && line[0] != '\0';
}

char* next_field(char** cursor, const char* separators) {
    char* p = *cursor;
    while (*p != '\0' && std::strchr(separators, *p) != nullptr) ++p;
    if (*p == '\0') {
        *cursor = p;
        return nullptr;
    }
    char* piece = p;
    while (*p != '\0' && std::strchr(separators, *p) == nullptr) ++p;
    if (*p != '\0') *p++ = '\0';
    *cursor = p;
    return piece;
}

void lower_case(char* text) {
    for (; *text != '\0'; ++text) *text = ascii_lower(*text);
}

}  // namespace qxs::config
