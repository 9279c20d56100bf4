#include "logging/counter_keys.h"

#include "platform/strings.h"

namespace qxs {
namespace {

// Only this much of a request line is logged or counted.
constexpr size_t kLoggedMax = 255;

bool starts_with_no_case(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++text, ++prefix) {
        if (ascii_upper(*text) != *prefix) return false;
    }
    return true;
}

// Bytes the INI format would split or misread. Control bytes could end a
// line or vanish when the name is trimmed.
bool needs_escape(unsigned char c) {
    return c == '=' || c == '[' || c == ']' || c == ';' || c < 0x20 || c == 0x7f;
}

}  // namespace

void logged_request(const char* raw_command, bool keep_query, char* out, size_t size) {
    if (size == 0) return;
    if (raw_command == nullptr || raw_command[0] == '\0') {
        copy_text(out, size, "GopherRoot");
        return;
    }
    size_t n = 0;
    bool in_query = false;
    for (size_t i = 0; i < kLoggedMax && raw_command[i] != '\0' && n + 1 < size; ++i) {
        char c = raw_command[i];
        if (!keep_query) {
            if (c == '?') in_query = true;
            if (c == ' ') in_query = false;
            if (in_query) continue;
        }
        out[n++] = c;
    }
    out[n] = '\0';
}

void counter_key(const char* logged, char* out, size_t size) {
    if (size == 0) return;
    if (logged == nullptr) logged = "";
    if (!starts_with_no_case(logged, "GET") && !starts_with_no_case(logged, "HEAD") &&
        !starts_with_no_case(logged, "POST")) {
        ini_safe_name(logged, out, size);
        return;
    }
    // The path: the second word, up to a blank or the query.
    const char* word = logged;
    while (*word != '\0' && *word != ' ') ++word;
    while (*word == ' ') ++word;
    size_t length = 0;
    while (word[length] != '\0' && word[length] != ' ' && word[length] != '?') ++length;
    if (length == 0) {
        ini_safe_name("/", out, size);
        return;
    }
    char path[kLoggedMax + 1];
    if (length > kLoggedMax) length = kLoggedMax;
    for (size_t i = 0; i < length; ++i) path[i] = word[i];
    path[length] = '\0';
    ini_safe_name(path, out, size);
}

void ini_safe_name(const char* text, char* out, size_t size) {
    if (size == 0) return;
    static const char kHex[] = "0123456789ABCDEF";
    size_t n = 0;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (!needs_escape(c)) {
            if (n + 1 >= size) break;
            out[n++] = *p;
            continue;
        }
        // An escape is written whole or not at all.
        if (n + 3 >= size) break;
        out[n++] = '%';
        out[n++] = kHex[c >> 4];
        out[n++] = kHex[c & 0x0f];
    }
    out[n] = '\0';
}

}  // namespace qxs
