#include "request/request_headers.h"

#include <climits>
#include <cstring>

#include "cgi/post_dispatch.h"
#include "config/access_tables.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/strings.h"
#include "request/error_answers.h"
#include "request/file_answers.h"

namespace qxs {
namespace {

// Room for a content file name: tempdir and "CGI-co%d.qxs".
constexpr size_t kContentNameSize = sizeof(Settings::tempdir) + 16;

// Copies at most size-1 bytes of the word and terminates `out`.
void copy_word(char* out, size_t size, Word word) {
    size_t n = word.length < size - 1 ? word.length : size - 1;
    std::memcpy(out, word.start, n);
    out[n] = '\0';
}

// The word's leading decimal digits as a number, clamped to INT_MAX so that
// a huge announcement cannot wrap into a small or negative length. No
// digits (a sign included) give 0.
long leading_number(Word word) {
    long value = 0;
    for (size_t i = 0; i < word.length && word.start[i] >= '0' && word.start[i] <= '9'; ++i) {
        int digit = word.start[i] - '0';
        if (value > (INT_MAX - digit) / 10) return INT_MAX;
        value = value * 10 + digit;
    }
    return value;
}

void empty_content_file(const Connection& c) {
    char name[kContentNameSize];
    content_file_name(c, name, sizeof name);
    // A failure is on the screen log already; the body appends report again.
    static_cast<void>(write_new_private_file(name, nullptr));
}

void take_content_length(Connection& c, const char* rest) {
    Word value = next_word(rest, " ");
    if (value.length == 0) return;
    c.content_length = leading_number(value);
    empty_content_file(c);
}

void take_content_type(Connection& c, const char* rest) {
    Word value = next_word(rest, " ");
    if (value.length == 0 || value.length >= sizeof c.content_type - 1) return;
    copy_word(c.content_type, sizeof c.content_type, value);
}

// Basic credentials: the decoded text split at colons, empty fields skipped.
void take_authorization(Connection& c, const char* rest) {
    Word scheme_word = next_word(rest, " ");
    Word credentials_word = next_word(rest, " ");
    char scheme[16];
    copy_word(scheme, sizeof scheme, scheme_word);
    if (!prefix_match(scheme, "Basic") || credentials_word.length == 0) return;

    char credentials[kLineBufSize + 1];
    copy_word(credentials, sizeof credentials, credentials_word);
    char decoded[3 * sizeof credentials / 4 + 8];
    decode_base64(credentials, decoded, static_cast<int>(sizeof decoded));
    const char* cursor = decoded;
    Word user = next_word(cursor, ":");
    Word password = next_word(cursor, ":");
    copy_word(c.auth_user, sizeof c.auth_user, user);
    copy_word(c.auth_password, sizeof c.auth_password, password);
}

}  // namespace

Word next_word(const char*& cursor, const char* separators) {
    while (*cursor != '\0' && std::strchr(separators, *cursor) != nullptr) ++cursor;
    Word word{cursor, 0};
    while (*cursor != '\0' && std::strchr(separators, *cursor) == nullptr) ++cursor;
    word.length = static_cast<size_t>(cursor - word.start);
    return word;
}

void content_file_name(const Connection& c, char* out, size_t size) {
    format_text(out, size, "%sCGI-co%d.qxs", settings.tempdir, c.slot);
}

void header_line(Connection& c) {
    const char* line = c.line;
    size_t name_length = std::strcspn(line, " :");
    // Longer names are cut, which keeps whether they begin with a known one.
    char name[32];
    copy_word(name, sizeof name, Word{line, name_length});
    // The value starts right after the character that ended the name.
    const char* rest = line + name_length;
    if (*rest != '\0') ++rest;

    if (prefix_match(name, "User-Agent")) {
        if (*rest != '\0') copy_text(c.user_agent, sizeof c.user_agent, rest);
    } else if (prefix_match(name, "Referer")) {
        if (*rest != '\0') copy_text(c.referer, sizeof c.referer, rest);
    } else if (prefix_match(name, "Content-length")) {
        take_content_length(c, rest);
    } else if (prefix_match(name, "Content-type")) {
        take_content_type(c, rest);
    } else if (prefix_match(name, "Authorization")) {
        take_authorization(c, rest);
    }
}

void body_piece(Connection& c, int count) {
    if (c.content_length > kMaxRequestBody) {
        send_body_too_large(c);
        return;
    }
    if (count > 0) {
        screen_log("::");
        screen_log("\r\n");
        char name[kContentNameSize];
        content_file_name(c, name, sizeof name);
        // The body as received, NUL bytes included: uploads are not text.
        append_file_bytes(name, c.line, count);
        c.body_received += count;
    }
    if (c.body_received < c.content_length) return;

    switch (c.request_type) {
        case kRequestGet:
        case kRequestHead:
            serve_get(c, c.full_request);
            break;
        case kRequestPost:
            if (c.content_length == 0) empty_content_file(c);
            post_dispatch(c);
            break;
        default:
            break;
    }
}

}  // namespace qxs
