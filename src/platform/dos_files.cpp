// Packed dates, DOS wildcards, directory enumeration and text-mode reading
// for DOS-style names. Name translation is in dos_names.cpp.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/dos_files.h"
#include "platform/strings.h"

namespace qxs::dos {
namespace {

constexpr char kCtrlZ = 0x1a;

// Packed dates hold years 1980 to 1980 + 127.
constexpr int kFirstYear = 80;  // years since 1900
constexpr int kLastYear = 207;

constexpr uint16_t kFirstDate = (1 << 5) | 1;                      // 1 January 1980
constexpr uint16_t kLastDate = (127 << 9) | (12 << 5) | 31;        // 31 December 2107
constexpr uint16_t kLastTime = (23 << 11) | (59 << 5) | (58 / 2);  // 23:59:58

enum class Range { kBefore, kWithin, kAfter };

Range packed_range(time_t t, struct tm* local) {
    if (::localtime_r(&t, local) == nullptr) return t < 0 ? Range::kBefore : Range::kAfter;
    if (local->tm_year < kFirstYear) return Range::kBefore;
    if (local->tm_year > kLastYear) return Range::kAfter;
    return Range::kWithin;
}

bool has_wildcard(const char* text) {
    return std::strpbrk(text, "*?") != nullptr;
}

// Where the last component of a DOS-style name begins: after the last '\' or
// '/', or after a drive ("c:*.*").
size_t last_component_start(const char* name) {
    size_t start = 0;
    for (size_t i = 0; name[i] != '\0'; ++i) {
        if (name[i] == '\\' || name[i] == '/') start = i + 1;
    }
    if (start == 0 && name[0] != '\0' && name[1] == ':') start = 2;
    return start;
}

void fill(const struct stat& st, const char* name, FindData* out) {
    copy_text(out->name, sizeof out->name, name);
    out->is_directory = S_ISDIR(st.st_mode);
    out->size = static_cast<uint64_t>(st.st_size);
    out->date = packed_date(st.st_mtime);
    out->time = packed_time(st.st_mtime);
}

// Fills `out` from the host file at `path`; `name` is the entry's own name.
bool describe(const char* path, const char* name, FindData* out) {
    struct stat st {};
    if (::stat(path, &st) != 0) return false;
    fill(st, name, out);
    return true;
}

bool sorted_without_case(const std::string& a, const std::string& b) {
    int order = compare_no_case(a.c_str(), b.c_str());
    // Names that differ only in case still come in a fixed order.
    return order != 0 ? order < 0 : a < b;
}

}  // namespace

uint16_t packed_date(time_t t) {
    struct tm local {};
    switch (packed_range(t, &local)) {
        case Range::kBefore:
            return kFirstDate;
        case Range::kAfter:
            return kLastDate;
        case Range::kWithin:
            break;
    }
    return static_cast<uint16_t>(((local.tm_year - kFirstYear) << 9) | ((local.tm_mon + 1) << 5) |
                                 local.tm_mday);
}

uint16_t packed_time(time_t t) {
    struct tm local {};
    switch (packed_range(t, &local)) {
        case Range::kBefore:
            return 0;
        case Range::kAfter:
            return kLastTime;
        case Range::kWithin:
            break;
    }
    // A leap second (60) still fits the five bits as 30.
    return static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

bool wildcard_match(const char* pattern, const char* name) {
    if (pattern == nullptr || name == nullptr) return false;
    const char* p = pattern;
    const char* n = name;
    // Where the last '*' may take one more character, when a later part fails.
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*n != '\0') {
        if (*p == '*') {
            star = ++p;
            resume = n;
        } else if (*p != '\0' && (*p == '?' || ascii_lower(*p) == ascii_lower(*n))) {
            ++p;
            ++n;
        } else if (star != nullptr) {
            p = star;
            n = ++resume;
        } else {
            return false;
        }
    }
    // The name is used up: what is left of the pattern must match nothing.
    // A final ".*" does, as on DOS, so "*.*" and "name.*" take names without a dot.
    while (*p == '*') ++p;
    if (p[0] == '.' && p[1] == '*') {
        ++p;
        while (*p == '*') ++p;
    }
    return *p == '\0';
}

bool Finder::first(const char* pattern, FindData* out) {
    directory_.clear();
    names_.clear();
    position_ = 0;
    if (pattern == nullptr) return false;

    size_t split = last_component_start(pattern);
    const char* wildcard = pattern + split;
    char path[4096];
    if (!to_host(std::string(pattern, split).c_str(), path, sizeof path)) return false;
    directory_ = path;
    if (directory_.empty() || directory_.back() != '/') directory_ += '/';

    DIR* dir = ::opendir(directory_.c_str());
    if (dir == nullptr) return false;
    while (const dirent* entry = ::readdir(dir)) {
        if (wildcard_match(wildcard, entry->d_name)) names_.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names_.begin(), names_.end(), sorted_without_case);
    return next(out);
}

bool Finder::next(FindData* out) {
    // An entry that vanished (or is a dangling link) since the listing is passed over.
    while (position_ < names_.size()) {
        if (fill(position_++, out)) return true;
    }
    return false;
}

bool Finder::fill(size_t index, FindData* out) {
    const std::string& name = names_[index];
    return describe((directory_ + name).c_str(), name.c_str(), out);
}

bool find_first(const char* pattern, FindData* out) {
    if (pattern == nullptr) return false;
    if (has_wildcard(pattern + last_component_start(pattern))) {
        Finder finder;
        return finder.first(pattern, out);
    }
    // The common case of every file served: one lookup, no listing.
    char path[4096];
    struct stat st {};
    if (dos::stat(pattern, &st, path, sizeof path) != 0) return false;
    size_t end = std::strlen(path);
    while (end > 1 && path[end - 1] == '/') --end;
    size_t start = end;
    while (start > 0 && path[start - 1] != '/') --start;
    char name[sizeof out->name];
    size_t length = std::min(end - start, sizeof name - 1);
    std::memcpy(name, path + start, length);
    name[length] = '\0';
    fill(st, name, out);
    return true;
}

bool TextFile::open(const char* name) {
    close();
    file_ = dos::fopen(name, "rb");
    ended_ = false;
    return file_ != nullptr;
}

void TextFile::close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    ended_ = false;
}

int TextFile::get() {
    if (file_ == nullptr || ended_) return EOF;
    int c = std::getc(file_);
    if (c == '\r') {
        // The pair is taken whole here, so no caller's buffer can split it.
        int following = std::getc(file_);
        if (following == '\n') return '\n';
        if (following != EOF) std::ungetc(following, file_);
    }
    if (c == EOF || c == kCtrlZ) {
        ended_ = true;
        return EOF;
    }
    return c;
}

size_t TextFile::read(char* buffer, size_t size) {
    size_t n = 0;
    while (n < size) {
        int c = get();
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
    }
    return n;
}

char* TextFile::gets(char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return nullptr;
    int n = 0;
    int c = 0;
    while (n < size - 1) {
        c = get();
        if (c == EOF) break;
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return n == 0 && c == EOF ? nullptr : buffer;
}

}  // namespace qxs::dos
