#include "cgi/post_dispatch.h"

#include "cgi/cgi_launch.h"
#include "config/access_tables.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "platform/file_names.h"
#include "platform/strings.h"
#include "request/error_answers.h"
#include "request/path_mapping.h"

namespace qxs {
namespace {

constexpr const char* kBoardsNotAllowed =
    "<h2>Sorry, posting to message boards is not allowed in this directory!</h2>";

void refuse(Connection& c, int status, const char* text) {
    send_error_status(c, status);
    send_text(c, text);
    close_connection(c);
}

bool boards_allowed(const Alias* alias) {
    return alias != nullptr && alias->boards_allowed;
}

// Maps the board page "<virtual_path>.htm" into `name`: the mapping result,
// with `size` the page's size (0 when the mapping failed).
int map_board(Connection& c, const char* virtual_path, char* candidate, char* name, long* size) {
    format_text(candidate, sizeof c.path, "%s.htm", virtual_path);
    int result = aliasToDosDir(candidate, name, c.request_type, c.remote_address, &c.alias,
                               c.auth_user, c.auth_password);
    *size = result >= 0 ? file_size_and_date(name, nullptr, nullptr) : 0;
    return result;
}

// The board page becomes the request's path (its query string, which
// pointed into the old path, goes with it).
void serve_board(Connection& c, const char* virtual_path, const char* board) {
    copy_text(c.path, sizeof c.path, virtual_path);
    c.query_string = nullptr;
    post_message(c, board);
}

}  // namespace

void post_dispatch(Connection& c) {
    char name[kMappedNameSize];
    // Only for the alias it finds.
    static_cast<void>(aliasToDosDir(c.path, name, c.request_type, c.remote_address, &c.alias,
                                    c.auth_user, c.auth_password));
    const char* extension = file_extension(c.path);
    if (extension[0] != '\0') {
        if (!prefix_match(extension, "exe") && !prefix_match(extension, "bat") &&
            !prefix_match(extension, "pl")) {
            refuse(c, 400, "<h2>Sorry, unknown post command!</h2>");
        } else if (c.alias != nullptr && c.alias->scripts_allowed) {
            dopostcgi(c);
        } else {
            refuse(c, 403,
                   "<h2>Sorry, posting or running CGI scripts is not allowed in this "
                   "directory!</h2>");
        }
        return;
    }
    if (!prefix_match(c.path, "/messages/")) {
        refuse(c, 400, "<h2>Sorry, unknown post command!  Missing extention or scriptname.</h2>");
        return;
    }
    if (!boards_allowed(c.alias)) {
        refuse(c, 403, kBoardsNotAllowed);
        return;
    }

    // A board page is only written to when its mapping stands: a protected
    // board asks for the password first, and a path that climbs out with
    // ".." names no board.
    char candidate[sizeof c.path];
    long size = 0;
    int result = map_board(c, c.path, candidate, name, &size);
    if (result == kRefused) {
        send_refused(c);
        return;
    }
    if (size > 0) {
        serve_board(c, candidate, name);
        return;
    }
    result = map_board(c, c.path + 9, candidate, name, &size);
    if (!boards_allowed(c.alias)) {
        refuse(c, 403, kBoardsNotAllowed);
    } else if (result == kRefused) {
        send_refused(c);
    } else if (size < 1) {
        refuse(c, 404, "<h2>Sorry, message board not found!</h2>");
    } else {
        serve_board(c, candidate, name);
    }
}

}  // namespace qxs
