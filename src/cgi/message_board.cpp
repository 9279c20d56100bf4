// Message boards: a visitor's post appended to the end of a board page.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cgi/post_dispatch.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "logging/files.h"
#include "logging/screen_log.h"
#include "platform/dos_files.h"
#include "platform/escaping.h"
#include "platform/strings.h"
#include "request/error_answers.h"
#include "request/file_answers.h"
#include "request/request_headers.h"

namespace qxs {
namespace {

// What of a post is read, and how many of its fields are looked at.
constexpr size_t kPostMax = 1023;
constexpr int kPostFields = 5;

// A visitor's text as it goes into the page for every later reader: no
// markup of its own, and no '$' that the page variables would take for
// theirs when the page is served.
void append_escaped(std::string& out, const char* text) {
    for (const char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '$':
                out += "&#36;";
                break;
            default:
                out += *p;
        }
    }
}

// A link worth an href: an http, https, gopher or mailto URL, or a relative
// one. Browsers drop blanks and control characters from a URL before they
// look at its scheme ("java\tscript:"), so a link holding any is text.
bool linkable(const char* link) {
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(link); *p != 0; ++p) {
        if (*p <= ' ' || *p == 0x7f) return false;
    }
    const size_t scheme_length = std::strcspn(link, ":/?#");
    if (link[scheme_length] != ':') return true;
    const std::string scheme(link, scheme_length);
    for (const char* allowed : {"http", "https", "gopher", "mailto"}) {
        if (compare_no_case(scheme.c_str(), allowed) == 0) return true;
    }
    return false;
}

// Reads at most kPostMax bytes of the content file; its length.
size_t read_post(int fd, char* body) {
    size_t length = 0;
    while (length < kPostMax) {
        ssize_t n = ::read(fd, body + length, kPostMax - length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        length += static_cast<size_t>(n);
    }
    body[length] = '\0';
    return length;
}

struct Post {
    const char* name = nullptr;
    const char* subject = nullptr;
    const char* text = nullptr;
    const char* link = nullptr;
};

// The fields of the decoded body, each decoded once more. Names compare
// exactly; a later field replaces an earlier one of the same name.
Post parse_post(char* body) {
    Post post;
    char* save = nullptr;
    int count = 0;
    for (char* field = strtok_r(body, "\r", &save); field != nullptr && count < kPostFields;
         field = strtok_r(nullptr, "\r", &save), ++count) {
        url_decode(field);
        while (*field == '=') ++field;
        if (*field == '\0') break;
        char* value = std::strchr(field, '=');
        if (value != nullptr) {
            *value++ = '\0';
            if (*value == '\0') value = nullptr;
        }
        if (std::strcmp(field, "name") == 0) {
            post.name = value;
        } else if (std::strcmp(field, "subject") == 0) {
            post.subject = value;
        } else if (std::strcmp(field, "text") == 0) {
            post.text = value;
        } else if (std::strcmp(field, "link") == 0) {
            post.link = value;
        }
    }
    return post;
}

}  // namespace

void post_message(Connection& c, const char* board) {
    char content[sizeof Connection::path];
    content_file_name(c, content, sizeof content);
    int fd = dos::open(content, O_RDONLY);
    if (fd < 0) {
        screen_log("ERROR DOING POST\r\n");
        close_connection(c);
        return;
    }
    char body[kPostMax + 1];
    if (read_post(fd, body) == 0) {
        ::close(fd);
        send_error_status(c, 500);
        send_text(c,
                  "<h1>Sorry, an error occured while trying to send your message</h1>Please try "
                  "to post your message again in a few minutes.");
        close_connection(c);
        return;
    }
    url_decode(body);
    const Post post = parse_post(body);

    std::string entry = "<HR>Message from <B>'";
    append_escaped(entry, post.name != nullptr ? post.name : "somebody");
    entry += "' at [";
    append_escaped(entry, c.remote_host);
    entry.append("]</B> ").append(log_date(engine.now)).append("!<BR>");
    if (append_file(board, entry.c_str()) != 0) {
        send_error_status(c, 500);
        send_text(c,
                  "<h1>Sorry, unable to send your message now.</h1>Somebody else may be looking "
                  "at it.  Please try to post your message again in a few seconds.");
        ::close(fd);
        close_connection(c);
        return;
    }
    entry.clear();
    if (post.subject != nullptr) {
        entry += "<h3><i>";
        append_escaped(entry, post.subject);
        entry += "</i></h3>";
    }
    if (post.text != nullptr) append_escaped(entry, post.text);
    if (post.link != nullptr) {
        entry += " - ";
        if (linkable(post.link)) {
            entry += "<a href=\"";
            append_escaped(entry, post.link);
            entry += "\">";
            append_escaped(entry, post.link);
            entry += "</a>";
        } else {
            append_escaped(entry, post.link);
        }
    }
    entry += "\r\n";
    // A failure is on the screen log; the page is served as it stands.
    append_file(board, entry.c_str());

    serve_get(c, 1);
    ::close(fd);
}

}  // namespace qxs
