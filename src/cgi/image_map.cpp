#include "cgi/image_map.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/strings.h"

namespace qxs {
namespace {

// Room for a line of the map file: 1,020 characters and the terminator.
constexpr size_t kLineRoom = 1021;

// Whole numbers of clicks and map lines are held to this size, so squared
// distances always fit in 64 bits, whatever a client sends.
constexpr long kCoordinateLimit = 1000000000L;

constexpr const char* kWordSeparators = " \t\r\n";
constexpr const char* kPolygonSeparators = " ,\t\r\n";

long whole_number(const char* text) {
    long value = std::strtol(text, nullptr, 10);
    if (value > kCoordinateLimit) return kCoordinateLimit;
    if (value < -kCoordinateLimit) return -kCoordinateLimit;
    return value;
}

// The next word of `*cursor` between `separators`, terminated in place;
// nullptr at the end. `*cursor` moves behind the word's terminator.
char* next_word(char** cursor, const char* separators) {
    char* p = *cursor + std::strspn(*cursor, separators);
    if (*p == '\0') {
        *cursor = p;
        return nullptr;
    }
    char* end = p + std::strcspn(p, separators);
    if (*end != '\0') *end++ = '\0';
    *cursor = end;
    return p;
}

// The start of the next comma-separated piece of a click text; nullptr when
// there is none.
const char* click_piece(const char* text) {
    if (text == nullptr) return nullptr;
    text += std::strspn(text, ",");
    return *text != '\0' ? text : nullptr;
}

struct Point {
    long x;
    long y;
};

// "x,y" into a point; false when either number is missing.
bool parse_point(char* word, Point* out) {
    if (word == nullptr) return false;
    char* cursor = word;
    char* x = next_word(&cursor, ",");
    char* y = next_word(&cursor, ",");
    if (x == nullptr || y == nullptr) return false;
    out->x = whole_number(x);
    out->y = whole_number(y);
    return true;
}

uint64_t squared_distance(Point a, Point b) {
    int64_t dx = a.x - b.x;
    int64_t dy = a.y - b.y;
    return static_cast<uint64_t>(dx * dx) + static_cast<uint64_t>(dy * dy);
}

enum class Hit { kNo, kYes, kNoMemory };

bool in_rectangle(char** cursor, Point click) {
    Point a{};
    Point b{};
    if (!parse_point(next_word(cursor, kWordSeparators), &a) ||
        !parse_point(next_word(cursor, kWordSeparators), &b)) {
        return false;
    }
    long x1 = a.x < b.x ? a.x : b.x;
    long x2 = a.x < b.x ? b.x : a.x;
    long y1 = a.y < b.y ? a.y : b.y;
    long y2 = a.y < b.y ? b.y : a.y;
    return x1 <= click.x && click.x <= x2 && y1 <= click.y && click.y <= y2;
}

bool in_circle(char** cursor, Point click) {
    Point centre{};
    Point edge{};
    if (!parse_point(next_word(cursor, kWordSeparators), &centre) ||
        !parse_point(next_word(cursor, kWordSeparators), &edge)) {
        return false;
    }
    // Comparing the squares decides exactly as comparing their roots.
    return squared_distance(centre, click) <= squared_distance(centre, edge);
}

Hit in_polygon(char* rest, Point click) {
    int n = 0;
    for (const char* p = rest; *p != '\0'; ++p) n += *p == ',';
    if (n < 1) return Hit::kNo;
    std::unique_ptr<double[]> xs(new (std::nothrow) double[static_cast<size_t>(n)]);
    std::unique_ptr<double[]> ys(new (std::nothrow) double[static_cast<size_t>(n)]);
    if (xs == nullptr || ys == nullptr) {
        screen_log("\r\n*** Error allocating Memory for searching polygons in map file!\r\n");
        return Hit::kNoMemory;
    }
    char* cursor = rest;
    for (int i = 0; i < n; ++i) {
        char* x = next_word(&cursor, kPolygonSeparators);
        char* y = next_word(&cursor, kPolygonSeparators);
        if (x == nullptr || y == nullptr) return Hit::kNo;  // fewer vertices than commas
        xs[i] = std::strtod(x, nullptr);
        ys[i] = std::strtod(y, nullptr);
    }
    return point_in_polygon(n, xs.get(), ys.get(), static_cast<int>(click.x),
                            static_cast<int>(click.y))
               ? Hit::kYes
               : Hit::kNo;
}

}  // namespace

int search_image_map(const char* map_file, const char* click, char* result, size_t size) {
    const char* x_text = click_piece(click);
    const char* y_text =
        click_piece(x_text != nullptr ? x_text + std::strcspn(x_text, ",") : nullptr);
    if (x_text == nullptr || y_text == nullptr) return 0;
    Point point{whole_number(x_text), whole_number(y_text)};

    format_text(result, size, "Nothing was found at location [%ld,%ld].", point.x, point.y);
    int found_default = 0;

    dos::TextFile file;
    if (!file.open(map_file)) return -1;
    char line[kLineRoom];
    while (file.gets(line, static_cast<int>(sizeof line)) != nullptr) {
        size_t length = std::strlen(line);
        if (length == kLineRoom - 1 && line[length - 1] != '\n') {
            screen_log("\r\n* * Error, map-file line too long (>1020) \r\n");
        }
        char* rest = line;
        char* directive = next_word(&rest, kWordSeparators);
        char* url = next_word(&rest, kWordSeparators);
        if (directive == nullptr || url == nullptr) continue;

        bool inside = false;
        if (compare_no_case(directive, "rect") == 0) {
            inside = in_rectangle(&rest, point);
        } else if (compare_no_case(directive, "circle") == 0) {
            inside = in_circle(&rest, point);
        } else if (compare_no_case(directive, "poly") == 0) {
            Hit hit = in_polygon(rest, point);
            if (hit == Hit::kNoMemory) return -2;
            inside = hit == Hit::kYes;
        } else if (compare_no_case(directive, "default") == 0) {
            // A later region that holds the point still wins.
            copy_text(result, size, url);
            found_default = 1;
        }
        if (inside) {
            copy_text(result, size, url);
            return 1;
        }
    }
    return found_default;
}

int point_in_polygon(int n, const double* xs, const double* ys, int px, int py) {
    int inside = 0;
    const double x = px;
    const double y = py;
    for (int i = 0, j = n - 1; i < n; j = i++) {
        if ((ys[i] <= y && y < ys[j]) || (ys[j] <= y && y < ys[i])) {
            double t = (xs[j] - xs[i]) / (ys[j] - ys[i]) * (y - ys[i]) + xs[i];
            if (x < t) inside = !inside;
        }
    }
    return inside;
}

}  // namespace qxs
