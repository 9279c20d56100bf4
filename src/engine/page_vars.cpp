#include "engine/page_vars.h"

#include <cstdint>
#include <cstring>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "logging/counter_keys.h"
#include "logging/dates.h"
#include "platform/escaping.h"
#include "platform/file_names.h"
#include "platform/profile.h"
#include "platform/strings.h"

namespace qxs {
namespace {

// How far past an unknown "$name" a "[" may stand and still belong to it.
constexpr size_t kUnknownLookahead = 31;

// One step of the substitution: the source position after it, the bracket
// depth after it and the text it writes (possibly none).
struct Piece {
    size_t next = 0;
    int depth = 0;
    const char* text = nullptr;
    size_t text_length = 0;
};

// The position just past the "]" that closes the bracket opened at
// src[open], or the end of the block when none does. A "[" directly after
// the opening one is not counted as nested.
size_t skip_bracket(const char* src, size_t length, size_t open) {
    int nested = 0;
    for (size_t i = open + 1; i < length; ++i) {
        if (src[i] == '[' && i > open + 1) {
            ++nested;
        } else if (src[i] == ']') {
            if (nested == 0) return i + 1;
            --nested;
        }
    }
    return length;
}

bool is_operator(char c) {
    return c == '?' || c == '!' || c == '|';
}

void write_value(Piece& piece, const char* value) {
    piece.text = value;
    piece.text_length = std::strlen(value);
}

// The piece of a "$" at src[pos] that names a known variable.
Piece known_reference(const NameEntry& entry, const char* src, size_t length, size_t pos,
                      int depth) {
    Piece piece{0, depth, nullptr, 0};
    const char* value = entry.value != nullptr ? entry.value : "";
    const bool filled = value[0] != '\0';
    const size_t after = pos + 1 + std::strlen(entry.name);
    const char op = after < length ? src[after] : '\0';
    const bool bracket = after + 1 < length && src[after + 1] == '[';

    if (is_operator(op) && bracket) {
        const bool show = op == '?' ? filled : !filled;
        if (show) {
            piece.next = after + 2;
            piece.depth = depth + 1;
        } else {
            piece.next = skip_bracket(src, length, after + 1);
            if (op == '|') write_value(piece, value);
        }
        return piece;
    }
    write_value(piece, value);
    // A filled value with a dangling operator hides what follows as if the
    // character after the operator opened a bracket.
    piece.next = filled && is_operator(op) ? skip_bracket(src, length, after + 1) : after;
    return piece;
}

// The piece of a "$" at src[pos] that names no variable: a "[" shortly
// behind it opens a bracket of its own (the unknown variable counts as
// empty); otherwise the "$" is plain text.
Piece unknown_reference(const char* src, size_t length, size_t pos, int depth) {
    Piece piece{pos + 1, depth, src + pos, 1};
    size_t limit = length - pos - 1 > kUnknownLookahead ? pos + 1 + kUnknownLookahead : length;
    for (size_t i = pos + 1; i < limit && src[i] != '$'; ++i) {
        if (src[i] != '[') continue;
        piece.text = nullptr;
        piece.text_length = 0;
        if (src[i - 1] == '|' || src[i - 1] == '!') {
            piece.next = i + 1;
            piece.depth = depth + 1;
        } else {
            piece.next = skip_bracket(src, length, i);
        }
        break;
    }
    return piece;
}

Piece next_piece(const NameList& list, const char* src, size_t length, size_t pos, int depth) {
    if (src[pos] == ']' && depth > 0) return Piece{pos + 1, depth - 1, nullptr, 0};
    if (src[pos] != '$') return Piece{pos + 1, depth, src + pos, 1};
    const NameEntry* entry = list.list_find(src + pos + 1, length - pos - 1);
    if (entry != nullptr) return known_reference(*entry, src, length, pos, depth);
    return unknown_reference(src, length, pos, depth);
}

void add_variable(NameList& vars, const char* name, const char* value) {
    vars.list_add(name, value, 0, false, false);
}

const char* request_method(int request_type) {
    switch (request_type) {
        case kRequestGet:
            return "GET";
        case kRequestPost:
            return "POST";
        case kRequestHead:
            return "HEAD";
        default:
            return nullptr;
    }
}

// The stored count of the page and the day counting began, "count date",
// under the same key the access-log writer counts the page by.
void read_hit_text(Connection& c) {
    char logged[256];
    logged_request(c.raw_command, settings.logsearchstring != 0, logged, sizeof logged);
    char key[3 * sizeof logged];
    counter_key(logged, key, sizeof key);
    char counts[sizeof settings.logdir + 16];
    format_text(counts, sizeof counts, "%scounts.qxs", settings.logdir);
    profile::get_string("Commands", key, "0", c.hit_text, static_cast<int>(sizeof c.hit_text),
                        counts);
}

void read_last_modified(Connection& c) {
    uint16_t date = 0;
    uint16_t time = 0;
    file_size_and_date(c.file_name, &date, &time);
    c.last_modified_gmt[0] = c.last_modified[0] = '\0';
    if (date == 0) return;  // no such file: both dates stay empty
    packed_file_date(date, time, c.last_modified_gmt, 1);
    packed_file_date(date, time, c.last_modified, 0);
}

// A text of the client's, escaped into `page` (its page copy), as a variable.
template <size_t kSize>
void add_client_text(NameList& vars, const char* name, const char* text, char (&page)[kSize]) {
    html_escape(text, page, kSize);
    add_variable(vars, name, page);
}

}  // namespace

void fill_page_variables(Connection& c) {
    NameList& vars = c.vars;
    add_client_text(vars, "raw_command", c.raw_command, c.page_command);
    add_client_text(vars, "user_agent", c.user_agent, c.page_user_agent);
    add_client_text(vars, "referer", c.referer, c.page_referer);
    if (const char* method = request_method(c.request_type)) {
        if (vars.list_add("request_method", method, 0, false, false) == 1 &&
            c.request_type == kRequestPost) {
            ++engine.totals.total_posts;
        }
    }
    add_variable(vars, "server_name", engine.server_name);
    add_variable(vars, "server_admin", settings.email);
    add_variable(vars, "server_admin_name", settings.name);
    add_variable(vars, "server_admin_org", settings.organization);
    add_variable(vars, "server_admin_logo", settings.logo);
    add_variable(vars, "remote_address", c.remote_address);
    add_client_text(vars, "remote_host", c.remote_host, c.page_remote_host);
    copy_text(c.date_text, sizeof c.date_text, log_date(c.start_time));
    add_variable(vars, "date", c.date_text);

    // hit_text is cut in two where the count ends: the count stays in it and
    // the start date is the rest.
    read_hit_text(c);
    const char* start_date = nullptr;
    if (char* space = std::strchr(c.hit_text, ' ')) {
        *space = '\0';
        if (space[1] != '\0') start_date = space + 1;
    }
    add_variable(vars, "hit_count", c.hit_text);
    add_variable(vars, "hit_start_date", start_date);

    read_last_modified(c);
    add_variable(vars, "last_modified_gmt", c.last_modified_gmt);
    add_variable(vars, "last_modified", c.last_modified);
}

size_t substitute(const NameList& list, const char* src, size_t length, char* dst, size_t size,
                  SubstituteState* state) {
    if (size == 0) return 0;
    size_t written = 0;
    while (state->consumed < length) {
        Piece piece = next_piece(list, src, length, state->consumed, state->depth);
        size_t text_length = piece.text_length;
        if (written + text_length + 1 > size) {
            // A piece too long for even an empty destination is cut to fit,
            // so that every call makes progress.
            if (written > 0 || size < 2) break;
            text_length = size - 1;
        }
        if (text_length > 0) std::memcpy(dst + written, piece.text, text_length);
        written += text_length;
        state->consumed = piece.next;
        state->depth = piece.depth;
    }
    dst[written] = '\0';
    return written;
}

}  // namespace qxs
