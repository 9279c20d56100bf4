// A visitor's post to a message board. Input: the body, as the content
// file holds it.
// Checks: the board only grows; what it gains holds no markup but the
// entry's own tags, no '$' that the page variables would take, and an href
// only for a link that may have one; the poster gets the updated page.
#include <fstream>
#include <iterator>
#include <string>

#include "cgi/post_dispatch.h"
#include "engine/connection.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "fuzz_support.h"
#include "platform/strings.h"
#include "support/fake_sockets.h"

namespace qxs {
namespace {

constexpr time_t kNow = 1000000000;
const std::string kBoard = "<html><h1>Guests</h1>\n";

std::string read_file(const std::string& relative) {
    std::ifstream in(fuzz::home() + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The entry less the tags the server writes; an href must name a scheme
// that may be linked, or none.
void check_entry(std::string entry) {
    fuzz::check(entry.find('$') == std::string::npos, "a '$' in a post");
    for (const char* tag : {"<HR>", "<B>", "</B>", "<BR>", "<h3><i>", "</i></h3>", "</a>"}) {
        for (size_t at; (at = entry.find(tag)) != std::string::npos;) {
            entry.erase(at, std::string(tag).size());
        }
    }
    for (size_t at; (at = entry.find("<a href=\"")) != std::string::npos;) {
        const size_t end = entry.find("\">", at);
        fuzz::check(end != std::string::npos, "an href that does not end");
        const std::string link = entry.substr(at + 9, end - at - 9);
        const size_t colon = link.find_first_of(":/?#");
        if (colon != std::string::npos && link[colon] == ':') {
            const std::string scheme = link.substr(0, colon);
            bool allowed = false;
            for (const char* name : {"http", "https", "gopher", "mailto"}) {
                allowed = allowed || compare_no_case(scheme.c_str(), name) == 0;
            }
            fuzz::check(allowed, "an href with a scheme that may not be linked");
        }
        entry.erase(at, end + 2 - at);
    }
    fuzz::check(entry.find('<') == std::string::npos, "markup of the visitor's in a post");
}

}  // namespace
}  // namespace qxs

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    static ConnectionTable* table = create_table(kNow);
    fuzz::reset_state();
    fuzz::empty_folder("temp");
    fuzz::empty_folder("logs");
    fuzz::write_file("html/board.htm", kBoard);
    fuzz::write_file("temp/CGI-co0.qxs", fuzz::as_text(data, size));

    test::FakeSockets sockets;
    engine.table = table;
    engine.now = kNow;
    const Socket s = sockets.open_connection();
    Connection& c = table->records[take_slot(*table, s, 0, kNow)];
    copy_text(c.remote_host, sizeof c.remote_host, "127.0.0.1");
    c.request_type = kRequestPost;
    c.full_request = 1;
    copy_text(c.path, sizeof c.path, "/board.htm");
    post_message(c, "c:\\html\\board.htm");
    for (int pass = 0; pass < 1000 && c.state == kSend; ++pass) timer_send_pass(*table);
    close_connection(c);

    const std::string board = read_file("html/board.htm");
    fuzz::check(board.rfind(kBoard, 0) == 0, "the board lost what it had");
    check_entry(board.substr(kBoard.size()));
    if (board.size() > kBoard.size()) {
        fuzz::check(sockets.sent(s).find(board.substr(kBoard.size())) != std::string::npos,
                    "the poster did not get the updated page");
    }
    return 0;
}
