#include "platform/file_names.h"

#include <cstring>

#include "platform/dos_files.h"
#include "platform/strings.h"

namespace qxs {

long file_size_and_date(const char* name, uint16_t* date, uint16_t* time) {
    if (name == nullptr || name[0] == '\0') return 0;
    dos::FindData found{};
    if (!dos::find_first(name, &found)) return 0;
    if (found.is_directory) return 0;
    if (date != nullptr && time != nullptr) {
        *date = found.date;
        *time = found.time;
    }
    return static_cast<long>(found.size & 0xffffffffu);
}

const char* file_extension(const char* text) {
    if (text == nullptr) return nullptr;
    size_t length = std::strlen(text);
    if (length < 3) return text + length;
    for (size_t i = 1; i + 1 < length; ++i) {
        if (text[i] == '.') return text + i + 1;
    }
    return text + length;
}

const char* last_path_component(const char* text) {
    if (text == nullptr) return nullptr;
    const char* last = text;
    for (const char* p = text; *p != '\0'; ++p) {
        if (is_path_separator(*p)) last = p + 1;
    }
    return last;
}

int is_directory(const char* name) {
    if (name == nullptr || name[0] == '\0') return 0;
    size_t length = std::strlen(name);
    dos::FindData found{};
    if (name[length - 1] != '*') {
        if (dos::find_first(name, &found)) return found.is_directory ? 1 : 0;
    } else if (dos::find_first(name, &found)) {
        return 1;  // anything matching makes such a name count as a directory
    }
    // A drive root such as "c:\" cannot be looked up itself; its entries can.
    char pattern[4096];
    const char* tail = name[length - 1] == '\\' ? "*.*" : "\\*.*";
    if (length + std::strlen(tail) + 1 > sizeof pattern) return 0;
    std::memcpy(pattern, name, length);
    std::memcpy(pattern + length, tail, std::strlen(tail) + 1);
    return dos::find_first(pattern, &found) ? 1 : 0;
}

const char* file_name_extension(const char* name) {
    return file_extension(last_path_component(name));
}

}  // namespace qxs
