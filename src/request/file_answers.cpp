#include "request/file_answers.h"

#include <cstdint>
#include <cstring>
#include <ctime>

#include "cgi/cgi_launch.h"
#include "cgi/image_map.h"
#include "config/access_tables.h"
#include "config/extension_table.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "logging/files.h"
#include "logging/reports.h"
#include "logging/screen_log.h"
#include "platform/file_names.h"
#include "platform/strings.h"
#include "request/error_answers.h"
#include "request/listing.h"
#include "request/path_mapping.h"

namespace qxs {
namespace {

constexpr const char* kPlainHtmlHeader =
    "HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-Type: text/html\r\n\r\n";

// How long a "/~debug" connection stays open after its page.
constexpr int kDebugHoldSeconds = 10;

// Room for "http://", the host and port, a request path and a final '/'.
constexpr size_t kUrlSize = sizeof Engine::server_host_port + sizeof Connection::path + 16;

void send_report_page(Connection& c, const char* heading) {
    send_text(c, kPlainHtmlHeader);
    send_text(c, heading);
    send_text(c, status_report(*engine.table));
    send_text(c, "</pre>");
}

// "http://host:port" followed by `path` (its first `length` bytes) and `tail`.
void redirect_on_this_server(Connection& c, const char* path, size_t length, const char* tail) {
    char url[kUrlSize];
    format_text(url, sizeof url, "http://%s%.*s%s", engine.server_host_port,
                static_cast<int>(length), path, tail);
    send_redirect(c, url);
}

void send_and_log(Connection& c, const char* text) {
    send_text(c, text);
    screen_log(text);
}

// A click on a server-side image map: the region's URL as a redirect, or the
// text saying nothing was found there.
void answer_image_map(Connection& c) {
    char name[kMappedNameSize];
    int result = aliasToDosDir(c.path, name, c.request_type, c.remote_address, &c.alias,
                               c.auth_user, c.auth_password);
    // A map under a protected alias, or reached through "..", is not read.
    if (result == kRefused) {
        send_refused(c);
        return;
    }
    if (result == kDoublePeriod) {
        send_not_found(c, result);
        return;
    }
    if (settings.debug3) screen_logf("Searching for [%s].\r\n", c.query_string);
    char found[1024] = "";
    int outcome = search_image_map(name, c.query_string, found, sizeof found);
    if (outcome > 0) {
        if (is_path_separator(found[0])) {
            redirect_on_this_server(c, found, std::strlen(found), "");
        } else {
            send_redirect(c, found);
        }
        return;
    }
    if (outcome == 0) {
        send_error_status(c, 404);
        send_text(c, found);
        close_connection(c);
        return;
    }
    send_error_status(c, outcome == -1 ? 404 : 500);
    send_and_log(c, "\r\n*** Error searching map file!\r\n");
    if (outcome == -1) {
        send_and_log(c, "\r\n Reason for error: Error opening map file\r\n");
    } else if (outcome == -2) {
        send_and_log(c, "\r\n Reason for error: Server could not allocate memory for mapfile\r\n");
    } else {
        send_and_log(c, "\r\n Reason for error: Beats me!\r\n");
    }
    close_connection(c);
}

bool is_cgi_request(const Connection& c) {
    if (c.alias == nullptr || !c.alias->scripts_allowed) return false;
    const char* extension = file_extension(c.path);
    return prefix_match(extension, "bat") || prefix_match(extension, "exe") ||
           prefix_match(extension, "pl");
}

void start_cgi(Connection& c) {
    if (c.content_length == 0) {
        char content[300];
        format_text(content, sizeof content, "%sCGI-co%d.qxs", settings.tempdir, c.slot);
        // A failure is on the screen log; the program then reads no input.
        static_cast<void>(write_new_private_file(content, nullptr));
    }
    dopostcgi(c);
}

// A missing file may be there under a shorter or longer spelling of its
// extension: page.shtml as page.sht, page.htm as page.html. The size and
// date of the file now named.
long find_other_spelling(char* name, uint16_t* date, uint16_t* clock) {
    const char* extension = file_name_extension(name);
    size_t stem = static_cast<size_t>(extension - name);
    size_t length = std::strlen(name);
    char tried[kMappedNameSize];
    if (std::strlen(extension) > 3) {
        copy_text(tried, stem + 4, name);
    } else if (compare_no_case(extension, "htm") == 0 && length + 1 < kMappedNameSize) {
        format_text(tried, sizeof tried, "%sl", name);
    } else {
        return 0;
    }
    long size = file_size_and_date(tried, date, clock);
    if (size > 0) copy_text(name, kMappedNameSize, tried);
    return size;
}

void serve_file(Connection& c, const char* name, long size, uint16_t date, uint16_t clock,
                int full_request) {
    if (full_request == 1) {
        // The type comes from the document's own name, not from a dotted
        // directory above it.
        const char* type = mime_type_for(last_path_component(name));
        char modified[32];
        packed_file_date(date, clock, modified, 1);
        // A page whose variables are filled in on the way out is longer or
        // shorter than its file: the close ends it, as it ends an index page.
        char length[48] = "";
        if (!is_substituted(name))
            format_text(length, sizeof length, "Content-Length: %ld\r\n", size);
        char* buffer = response_buffer();
        if (type != nullptr) {
            format_text(buffer, kResponseBufferSize,
                        "HTTP/1.0 200 OK\r\nServer: QXServer/%s\r\nMIME-version: 1.0\r\n"
                        "Last-Modified: %s\r\nContent-Type: %s\r\n%s\r\n",
                        kServerVersion, modified, type, length);
        } else {
            format_text(buffer, kResponseBufferSize,
                        "HTTP/1.0 200 OK\r\nServer: QXServer/%s\r\nMIME-version: 1.0\r\n"
                        "Last-Modified: %s\r\n%s\r\n",
                        kServerVersion, modified, length);
        }
        send_header(c, buffer);
        if (settings.debug2) screen_log(buffer);
    }
    if (c.request_type == kRequestHead) {
        close_connection(c);
        return;
    }
    queuegopherfile(c, name, 1, 0);
}

}  // namespace

void serve_get(Connection& c, int full_request) {
    if (response_buffer() == nullptr) {
        // The connection ends by the read time-out.
        screen_log("\r\n");
        screen_log("*****    Unable to create temp buffer   *******\r\n");
        screen_log("*****    Unable to send files *******\r\n");
        return;
    }

    if (c.path[0] == '\0') {
        char url[sizeof engine.server_name + 32];
        if (settings.httpport == 80) {
            format_text(url, sizeof url, "http://%s/", engine.server_name);
        } else {
            format_text(url, sizeof url, "http://%s:%d/", engine.server_name, settings.httpport);
        }
        send_redirect(c, url);
        return;
    }
    if (prefix_match(c.path, "/~debug")) {
        send_report_page(c, "<h2>Debug</h2><pre>");
        // The page is followed by a 10-second pause before the close. Only
        // this connection waits: it stays in state Read with its input
        // ignored, and the tick closes it when the hold ends.
        c.hold_until = engine.now + kDebugHoldSeconds;
        return;
    }
    if (prefix_match(c.path, "/~status")) {
        send_report_page(c, "<h2>Server Status</h2><pre>");
        close_connection(c);
        return;
    }
    const char* last = last_path_component(c.path);
    if (prefix_match(last, "index.htm")) {
        redirect_on_this_server(c, c.path, static_cast<size_t>(last - c.path), "");
        return;
    }
    if (settings.althomepage[0] != '\0' &&
        (std::strcmp(c.path, "/") == 0 || std::strcmp(c.path, "\\") == 0)) {
        queuegopherfile(c, settings.althomepage, 1, 0);
        return;
    }
    if (!is_path_separator(c.path[0])) {
        send_bad_path(c);
        return;
    }
    if (c.query_string != nullptr && c.query_string[0] != '\0' &&
        (c.alias == nullptr || !c.alias->scripts_allowed) &&
        prefix_match(file_extension(c.path), "map")) {
        answer_image_map(c);
        return;
    }

    char name[kMappedNameSize];
    int result = aliasToDosDir(c.path, name, c.request_type, c.remote_address, &c.alias,
                               c.auth_user, c.auth_password);
    // Taken from the path as the mapping tidied it: "/docs/." is "/docs/".
    size_t path_length = std::strlen(c.path);
    bool trailing_slash = path_length > 0 && c.path[path_length - 1] == '/';
    if (result == kNameTooLong || result == kDeviceName) name[0] = '\0';

    if (is_cgi_request(c)) {
        start_cgi(c);
        return;
    }
    if (settings.debug2) {
        screen_log("Looking for ");
        screen_log(name);
        screen_log("\r\n");
    }
    uint16_t date = 0;
    uint16_t clock = 0;
    long size = file_size_and_date(name, &date, &clock);
    if (size == 0 && name[0] != '\0') size = find_other_spelling(name, &date, &clock);

    if (trailing_slash && result >= 0) {
        send_directory(c, c.path, 1);
    } else if (size == 0 && !trailing_slash && is_directory(name)) {
        redirect_on_this_server(c, c.path, std::strlen(c.path), "/");
    } else if (size > 0 && result >= 0) {
        serve_file(c, name, size, date, clock, full_request);
    } else if (result == kRefused) {
        send_refused(c);
    } else if (result == kHostNotAllowed) {
        send_host_restricted(c);
    } else {
        send_not_found(c, result);
    }
}

}  // namespace qxs
