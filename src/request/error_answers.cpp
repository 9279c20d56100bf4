#include "request/error_answers.h"

#include <cstring>
#include <memory>
#include <new>

#include "config/access_tables.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/escaping.h"
#include "platform/file_names.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "request/path_mapping.h"
#include "request/request_headers.h"

namespace qxs {
namespace {

// Longest URL a redirect carries, after its unsafe bytes are encoded.
constexpr size_t kRedirectUrlSize = 2048;

// Echoed request text grows at most six-fold when escaped ("&quot;").
constexpr size_t kEscapedCommandSize = 6 * sizeof(Connection::raw_command);
constexpr size_t kEscapedPathSize = 6 * sizeof(Connection::path);
constexpr size_t kEscapedRefererSize = 6 * sizeof(Connection::referer);

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// A text for an unquoted attribute value: escaped like page text, and any
// blank after the leading ones (which HTML skips) percent-encoded, since a
// blank would end the value and start an attribute of the sender's choosing.
void escape_unquoted_value(const char* text, char* out, size_t size) {
    static char escaped[kEscapedRefererSize];
    html_escape(text, escaped, sizeof escaped);
    size_t n = 0;
    bool leading = true;
    for (const char* p = escaped; *p != '\0'; ++p) {
        leading = leading && *p == ' ';
        if (leading || !is_blank(*p)) {
            if (n + 1 >= size) break;
            out[n++] = *p;
        } else {
            if (n + 3 >= size) break;
            n += format_text(out + n, size - n, "%%%02X", static_cast<unsigned>(*p));
        }
    }
    out[n] = '\0';
}

const char* reason_phrase(int status) {
    switch (status) {
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 413:
            return "Request Entity Too Large";
        case 502:
            return "Bad Gateway";
        case 504:
            return "Gateway Timeout";
        default:
            return "Internal Server Error";
    }
}

}  // namespace

void send_error_status(Connection& c, int status) {
    if (!c.full_request) return;
    char header[160];
    format_text(header, sizeof header,
                "HTTP/1.0 %d %s\r\nServer: QXServer/%s\r\nContent-type: text/html\r\n\r\n", status,
                reason_phrase(status), kServerVersion);
    send_header(c, header);
}

char* response_buffer() {
    static std::unique_ptr<char[]> buffer(new (std::nothrow) char[kResponseBufferSize]);
    return buffer.get();
}

void send_redirect(Connection& c, const char* url) {
    static char location[kRedirectUrlSize];
    static char text[3 * kRedirectUrlSize + 256];
    // A request path was URL-decoded, so it may hold CR, LF, blanks and
    // quotes: encoded, they can neither end the Location line nor leave the
    // quoted HREF of the body. An ordinary URL passes unchanged.
    percent_encode(url != nullptr ? url : "", "", location, sizeof location);
    screen_logf("S%d) Redirecting to [%s]\r\n", c.slot, location);
    format_text(text, sizeof text,
                "HTTP/1.0 302 Found\r\nServer: QXServer/%s\r\nMIME-version: 1.0\r\n"
                "Location: %s\r\nContent-type: text/html\r\n\r\n"
                "\r\nThis document is located at <A HREF=\"%s\">%s</A>\r\n",
                kServerVersion, location, location, location);
    send_text(c, text);
    close_connection(c);
}

void send_not_found(Connection& c, int result) {
    char* buffer = response_buffer();
    if (buffer == nullptr) {
        close_connection(c);
        return;
    }
    static char escaped[kEscapedPathSize];
    static char href[kEscapedRefererSize];
    send_text(c, "HTTP/1.0 404 NOT FOUND\r\n\r\n<H1>404 FILE NOT FOUND</H1>\r\n");
    html_escape(c.path, escaped, sizeof escaped);
    format_text(buffer, kResponseBufferSize, "<P>The file requested (%s) was not found.</P>",
                escaped);
    send_text(c, buffer);
    if (c.referer[0] != '\0') {
        escape_unquoted_value(c.referer, href, sizeof href);
        html_escape(c.referer, escaped, sizeof escaped);
        format_text(buffer, kResponseBufferSize,
                    "<p>Please inform the owner of the page below to update the link.<br>Return "
                    "to <a href=%s>%s</a>",
                    href, escaped);
        send_text(c, buffer);
    }
    if (result == kDoublePeriod) {
        send_text(c,
                  "<H2>Double periods in filename!</H2><P>Double periods (..) in file names are "
                  "not allowed by this server (QXServer for MSWindows)!</P>");
    }

    char log_name[300];
    format_text(log_name, sizeof log_name, "%serror.log", settings.logdir);
    if (file_size_and_date(log_name, nullptr, nullptr) == 0) {
        // A failure is on the screen log; the line below still goes there.
        static_cast<void>(write_new_file(log_name, nullptr));
    }
    format_text(buffer, kResponseBufferSize, "Not found (%s)  Referer (%s)\r\n", c.path, c.referer);
    screen_log(buffer);
    append_file(log_name, buffer);
    if (result == kDoublePeriod) screen_log("Double periods in filename!\r\n");
    close_connection(c);
}

void send_bad_path(Connection& c) {
    char* buffer = response_buffer();
    if (buffer != nullptr) {
        send_error_status(c, 400);
        static char escaped[kEscapedCommandSize];
        html_escape(c.raw_command, escaped, sizeof escaped);
        format_text(buffer, kResponseBufferSize,
                    "<h1>Error 400 Bad Request</h1>\r\n<h3>QXServer/%s</h3>\r\nYou said [%s], and "
                    "either that is an error, or this server doesn't understand it.",
                    kServerVersion, escaped);
        send_text(c, buffer);
    }
    close_connection(c);
}

void send_body_too_large(Connection& c) {
    screen_logf("%02d) Request body of %ld bytes refused: too large\r\n", c.slot, c.content_length);
    send_error_status(c, 413);
    char text[256];
    format_text(text, sizeof text,
                "<h1>413 Request Entity Too Large</h1>\r\n<p>The request body of %ld bytes is "
                "larger than this server takes (%ld bytes).</p>\r\n",
                c.content_length, kMaxRequestBody);
    send_text(c, text);
    set_status_text(c, "Request body too large");
    close_connection(c);
}

void send_refused(Connection& c) {
    char* buffer = response_buffer();
    if (buffer != nullptr) {
        format_text(buffer, kResponseBufferSize,
                    "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"%s\"\r\n\r\n",
                    settings.security_realm);
        send_text(c, buffer);
    }
    close_connection(c);
}

void send_host_restricted(Connection& c) {
    const char* access =
        c.alias != nullptr && c.alias->access != nullptr ? c.alias->access : "Anywhere";
    char key[300];
    format_text(key, sizeof key, "%s.redirect", access);
    char target[256];
    profile::get_string("Host Restrictions", key, "", target, sizeof target, settings_file());
    if (target[0] == '\0') {
        send_text(c, "HTTP/1.0 403 Forbidden\r\n\r\n");
        send_text(c,
                  "<h2>Sorry, unable to access this page from your host.  Access to this page is "
                  "restricted.</h2>\r\n");
        close_connection(c);
        return;
    }
    if (is_path_separator(target[0])) {
        char url[sizeof engine.server_host_port + sizeof target + 8];
        format_text(url, sizeof url, "http://%s%s", engine.server_host_port, target);
        send_redirect(c, url);
    } else {
        send_redirect(c, target);
    }
}

}  // namespace qxs
