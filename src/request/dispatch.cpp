#include "request/dispatch.h"

#include <cstring>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/reports.h"
#include "logging/screen_log.h"
#include "platform/escaping.h"
#include "platform/strings.h"
#include "request/file_answers.h"
#include "request/gopher.h"
#include "request/listing.h"
#include "request/path_mapping.h"
#include "request/request_headers.h"
#include "shell/shell.h"

namespace qxs {
namespace {

// The version word of a full request; anything else is a simple request
// answered without headers.
constexpr const char* kVersionPrefix = "HTTP";

// The slot's number and the command as the operator sees it. Without
// view_files the line ends here; with it the file line follows on the same
// screen line.
void log_command(const Connection& c) {
    if (!settings.view_commands) return;
    if (settings.view_connects) {
        screen_logf("%02d) \"%s\" ", c.slot, c.raw_command);
    } else {
        screen_logf("%02d) [%15s] \"%s\" ", c.slot, c.remote_host, c.raw_command);
    }
    // Logged on its own so that a long command never loses its line end.
    if (!settings.view_files) screen_log("\r\n");
}

// Gopher+ clients append TAB and an attribute request to the selector; the
// selector is the text before the first TAB. A request for attributes ("$"
// for a directory's items, "!" for one item) gets a minimal gopher+ reply;
// any other suffix is cut off and the selector gets a plain answer.
GopherPlus cut_at_tabs(char* line, int count) {
    const char* suffix = nullptr;
    for (int i = 0; i < count; ++i) {
        if (line[i] == '\t') {
            line[i] = '\0';
            if (suffix == nullptr) suffix = line + i + 1;
            screen_log("Gopher+ info request!\r\n");
        }
    }
    if (suffix == nullptr) return GopherPlus::kNone;
    if (suffix[0] == '$') return GopherPlus::kDirectory;
    if (suffix[0] == '!') return GopherPlus::kItem;
    return GopherPlus::kNone;
}

void send_about(Connection& c) {
    if (settings.gopher_about_filename[0] != '\0') {
        queuegopherfile(c, settings.gopher_about_filename, 0, 0);
        return;
    }
    char text[512];
    format_text(text, sizeof text,
                "\r\nThis server is running QXServer/%s\r\n the web & gopher server for "
                "ms-windows.\r\nFor more about QXServer see https://qxserver.example.org/\r\n\r\n",
                kServerVersion);
    send_text(c, text);
    send_text(c, "\n.\n");
    close_connection(c);
}

// "Quit", "Status" and "About" are answered on both ports before anything
// else is decided. True when the line was one of them.
bool bare_command(Connection& c, const char* line) {
    if (compare_no_case(line, "Quit") == 0) {
        screen_log("** QUIT message attempted!\r\n");
        screen_log("** Someone may be running SATAN on you.\r\n");
        close_connection(c);
        return true;
    }
    if (compare_no_case(line, "Status") == 0) {
        send_text(c, status_report(*engine.table));
        close_connection(c);
        return true;
    }
    if (compare_no_case(line, "About") == 0) {
        send_about(c);
        return true;
    }
    return false;
}

// Gopher when the selector is empty or its path starts right after the item
// type; otherwise the method word decides, by prefix.
int request_type_of(const char* line) {
    if (line[0] == '\0' || is_path_separator(line[1])) return kRequestGopher;
    if (prefix_match(line, "GET")) return kRequestGet;
    if (prefix_match(line, "POST")) {
        if (settings.sound) shell().beep(Beep::kExclamation);
        return kRequestPost;
    }
    if (prefix_match(line, "HEAD")) return kRequestHead;
    return kRequestUnknown;
}

// The 400 answer echoes the command the client sent; it is escaped so that
// the echo cannot carry markup of its own.
void log_bad_request(const char* line) {
    screen_log("400 Bad Request\r\n");
    screen_log(line);
    screen_log("'\r\n");
}

void answer_bad_request(Connection& c, const char* line) {
    log_bad_request(line);
    char echoed[6 * sizeof c.raw_command];
    html_escape(c.raw_command, echoed, sizeof echoed);
    char answer[sizeof echoed + 512];
    size_t n = format_text(answer, sizeof answer,
                           "HTTP/1.0 400 Bad Request\r\nServer: QXServer/%s\r\n", kServerVersion);
    n += format_text(answer + n, sizeof answer - n,
                     "MIME-version: 1.0\r\nContent-type: text/html\r\n\r\n");
    format_text(answer + n, sizeof answer - n,
                "\r\n<h1>Error 400 Bad Request</h1>\r\n<p>You said [%s], and either that is an "
                "error, or this server doesn't understand it.",
                echoed);
    send_text(c, answer);
    close_connection(c);
}

// Method, URL and version. The path is decoded; the query string stays
// encoded for the script that reads it.
void parse_request_line(Connection& c, const char* line) {
    const char* cursor = line;
    next_word(cursor, " \r\n");
    Word url = next_word(cursor, " \r\n");
    Word version = next_word(cursor, " \r\n");
    c.full_request =
        version.length >= 4 && std::strncmp(version.start, kVersionPrefix, 4) == 0 ? 1 : 0;
    c.query_string = nullptr;
    c.path[0] = '\0';
    if (url.length > 0) {
        size_t n = url.length < sizeof c.path - 1 ? url.length : sizeof c.path - 1;
        std::memcpy(c.path, url.start, n);
        c.path[n] = '\0';
        char* question = std::strchr(c.path, '?');
        if (question != nullptr) {
            *question = '\0';
            c.query_string = question + 1;
        }
        url_decode(c.path);
    }
    // A full request is answered once its headers are in.
    if (c.full_request) return;
    serve_get(c, 0);
}

void first_line(Connection& c, int count) {
    set_raw_command(c, c.line);
    set_status_text(c, "Connected");
    log_command(c);
    const GopherPlus plus = cut_at_tabs(c.line, count);
    const char* line = c.line;
    if (bare_command(c, line)) return;

    // On the gopher port a selector may also be a plain path, as clients
    // derive it from a URL.
    c.request_type = c.gopher_port && line[0] == '/' ? kRequestGopher : request_type_of(line);
    switch (c.request_type) {
        case kRequestGopher:
            serve_gopher(c, line, plus);
            break;
        case kRequestUnknown:
            if (c.gopher_port) {
                // A gopher client cannot show an HTTP page.
                log_bad_request(line);
                answer_gopher_error(c);
            } else {
                answer_bad_request(c, line);
            }
            break;
        default:
            parse_request_line(c, line);
            break;
    }
}

}  // namespace

void handle_line(Connection& c, int count) {
    if (c.line == nullptr) return;
    if (settings.debug3) {
        screen_logf("S%d) RAW  '", c.slot);
        screen_log(c.line);
        screen_log("'\r\n");
    }
    if (!c.full_request) {
        first_line(c, count);
        return;
    }
    if (!c.headers_done) {
        if (count > 0) {
            header_line(c);
            return;
        }
        c.headers_done = 1;
    }
    body_piece(c, count);
}

}  // namespace qxs
