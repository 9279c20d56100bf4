// The title shown beside an HTML file in a listing: its <title>, or else
// its first <h1>, <h2> or <h3>, looked for in the first kilobyte only so a
// listing of large pages stays cheap.
#include "request/html_title.h"

#include <cstring>

#include "config/settings.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/strings.h"

namespace qxs {
namespace {

constexpr size_t kTitleScan = 1024;

// True when the `length` bytes at `text` begin with `tag` (case ignored).
bool starts_with_tag(const char* text, size_t length, const char* tag) {
    return std::strlen(tag) <= length && prefix_match(text, tag);
}

// Where the title text starts, or -1: the first place holding "<title>" or a
// heading tag of level 1 to 3, whichever comes first.
long title_start(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const char* at = text + i;
        const size_t rest = length - i;
        if (starts_with_tag(at, rest, "<title>")) return static_cast<long>(i + 7);
        if (starts_with_tag(at, rest, "<h1>") || starts_with_tag(at, rest, "<h2>") ||
            starts_with_tag(at, rest, "<h3>")) {
            return static_cast<long>(i + 4);
        }
    }
    return -1;
}

}  // namespace

char* findHTMLtitle(const char* file_name, char* out, int max) {
    dos::TextFile file;
    if (!file.open(file_name)) {
        screen_log("Error opening htm file\r\n");
        return nullptr;
    }
    char text[kTitleScan + 1];
    const size_t length = file.read(text, kTitleScan);
    // The terminator keeps the tag comparisons inside the bytes read.
    text[length] = '\0';
    file.close();

    const long start = title_start(text, length);
    if (start >= 0) {
        for (size_t end = static_cast<size_t>(start); end < length; ++end) {
            if (text[end] != '<' && text[end] != '\r' && text[end] != '\n') continue;
            size_t count = end - static_cast<size_t>(start);
            const size_t limit = max > 0 ? static_cast<size_t>(max) : 0;
            if (count > limit) count = limit;
            std::memcpy(out, text + start, count);
            out[count] = '\0';
            return out;
        }
    }
    if (settings.debug2) screen_log("findHTMLtitle did not find one\r\n");
    return nullptr;
}

}  // namespace qxs
