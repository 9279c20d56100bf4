// Request reading as the socket layer feeds it: the bytes of one connection,
// cut into pieces at points the input chooses, each piece queued on the
// socket and read with read_step; then the answer is sent to its end and
// every connection closed. Input:
//   byte 0: bit 0 the connection came in on the gopher port, bit 1 the
//           operator sees connects and files, bit 2 every debug detail is on,
//           bit 3 directory browsing is on, bit 4 a second connection sends
//           the same bytes;
//   byte 1: the seed of the cuts;
//   the rest: what the client sends.
// Checks that every answer ends, that an HTTP answer carries neither markup
// nor header lines of the client's making, that its body is as long as its
// Content-Length says, that the access log line keeps its fields, and that
// the same request twice is counted in the same entries.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "config/access_tables.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/reader.h"
#include "engine/sender.h"
#include "engine/server.h"
#include "fuzz_support.h"
#include "platform/strings.h"
#include "support/fake_sockets.h"

namespace qxs {
namespace {

constexpr time_t kNow = 1700000000;  // a fixed clock: the dates of a page do not vary

// The documents the requests find, written once per process.
void make_tree() {
    using fuzz::write_file;
    write_file("html/index.htm",
               "<p>$remote_host $user_agent?[uses $user_agent] $referer|[no referer] "
               "$hit_count since $hit_start_date</p>");
    write_file("html/page.html",
               "<title>Page</title>$date $last_modified $raw_command $$ $x![none] "
               "$request_method?[by $request_method]");
    write_file("html/notes.txt", "plain text\r\n");
    write_file("html/nav.map",
               "rect /a.htm 0,0 10,10\ncircle /c.htm 50,50 50,60\n"
               "poly http://x.example/p 100,0 110,0 110,10\ndefault /d.htm\n");
    write_file("html/docs/qxheader.txt", "Documents\r\n");
    write_file("html/docs/a.txt", "a");
    write_file("html/docs/b.html", "<title>B &amp; b</title>");
    write_file("html/docs/menu.gop",
               "Name=Home\r\nType=1\r\nPath=./sub\r\n\r\nName=Far\r\n"
               "Type=0\r\nPath=/x.txt\r\nHost=far.example\r\nPort=71\r\n");
    write_file("gopher/about.txt", "All about us.\r\n.\r\n");
    write_file("gopher/docs/readme.txt", "Read me.\r\n");
    write_file("gopher/menu.gop", "Name=Docs\r\nType=1\r\nPath=./docs\r\n");
    write_file("files/pub.txt", "public");
    write_file("private/secret.txt", "secret");
}

struct Process {
    Process() {
        fuzz::home();
        make_tree();
        fuzz::reset_state();
        fuzz::load_tables(
            "[Aliases]\r\nAlias1=/pub c:\\files\\ Anybody Anywhere - - D\r\n"
            "Alias2=/private c:\\private\\ john\r\n[Users]\r\nUser1=john secret\r\n");
        table = create_table(kNow);
    }
    // One table for the process: a new one for every input would cost more
    // than the input. Every input uses slot 0 only (the lowest idle slot),
    // made as new again before each input.
    void renew_table() {
        for (Connection& c : table->records) close_connection(c);
        table->server_start_time = kNow;
        table->send_cursor = 0;
        Connection& c = table->records[0];
        c.ever_used = 0;
        c.sock = kInvalidSocket;
        std::memset(c.pbuffin, 0, sizeof c.pbuffin);
        std::memset(c.filebuf, 0, sizeof c.filebuf);
        std::memset(c.outbuf, 0, sizeof c.outbuf);
        std::memset(c.linebuf, 0, sizeof c.linebuf);
    }
    ConnectionTable* table = nullptr;
};

// Runs send passes while a connection is sending; the passes are bounded so
// that a connection that never finishes shows as a hang, not a loop.
void drain() {
    for (int pass = 0; pass < 100000; ++pass) {
        bool sending = false;
        for (const Connection& c : engine.table->records) sending = sending || c.state == kSend;
        if (!sending) return;
        timer_send_pass(*engine.table);
    }
    fuzz::fail("a connection is still sending after 100000 passes");
}

// What no HTTP answer from this tree may hold, whatever the client sent:
// markup of the client's own ("<x" stands in no document of the tree), and
// header lines of the client's making (a name the server never sends, or a
// line end inside a line).
void check_answer(const std::string& sent, bool head) {
    fuzz::check(sent.find("<x") == std::string::npos, "the client's markup in an answer");
    if (sent.rfind("HTTP/", 0) != 0) return;
    static constexpr const char* kHeaders[] = {
        "Server: ",        "MIME-version: ", "Content-Type: ",     "Content-Length: ",
        "Last-Modified: ", "Location: ",     "WWW-Authenticate: ",
    };
    const size_t end = std::min(sent.find("\r\n\r\n"), sent.size());
    for (size_t line = sent.find("\r\n") + 2; line < end;) {
        const size_t next = std::min(sent.find("\r\n", line), end);
        const std::string text = sent.substr(line, next - line);
        bool known = false;
        for (const char* name : kHeaders) {
            known = known || prefix_match(text.c_str(), name) != 0;
        }
        fuzz::check(known, "a header line the server does not send");
        fuzz::check(text.find_first_of("\r\n") == std::string::npos, "a line end inside a header");
        if (prefix_match(text.c_str(), "Content-Length: ") != 0 && end < sent.size()) {
            const size_t body = sent.size() - end - 4;
            fuzz::check(body == (head ? 0 : std::stoul(text.substr(16))),
                        "a body of another length than its header says");
        }
        line = next + 2;
    }
}

// A file of the home, "" when it is missing.
std::string read_file(const std::string& relative) {
    std::ifstream in(fuzz::home() + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The access log lines keep their fields whatever the client sent: one line
// a connection, a user name without blanks or control bytes, and no quote
// inside the quoted request.
void check_access_log(size_t connections) {
    const std::string log = read_file("logs/qxs.log");
    if (log.empty()) return;
    fuzz::check(static_cast<size_t>(std::count(log.begin(), log.end(), '\n')) == connections,
                "not one access log line a connection");
    const std::string host = "127.0.0.1 - ";
    for (size_t start = 0; start < log.size();) {
        const std::string line = log.substr(start, log.find('\n', start) + 1 - start);
        start += line.size();
        fuzz::check(line.find('\r') == line.size() - 2, "a CR inside an access log line");
        fuzz::check(line.rfind(host, 0) == 0, "an access log line without its client");
        const size_t user_end = line.find(' ', host.size());
        for (size_t i = host.size(); i < user_end; ++i) {
            fuzz::check(line[i] > ' ' && line[i] < 0x7f,
                        "a blank or control byte in the logged user");
        }
        fuzz::check(line.compare(user_end, 2, " [") == 0, "the logged user is not one field");
        const size_t open = line.find('"');
        fuzz::check(open != std::string::npos && line.find('"', open + 1) == line.rfind('"'),
                    "a quote inside the logged request");
    }
}

// One connection from its accept to its close, fed `stream` in pieces.
void run_connection(test::FakeSockets& sockets, std::string_view stream, uint8_t options,
                    uint32_t random) {
    Socket s = sockets.open_connection();
    const int slot = take_slot(*engine.table, s, 0, kNow);
    fuzz::check(slot == 0, "slot 0 is not free");
    Connection& c = engine.table->records[slot];
    copy_text(c.remote_address, sizeof c.remote_address, "127.0.0.1");
    copy_text(c.remote_host, sizeof c.remote_host, "127.0.0.1");
    c.gopher_port = (options & 1) != 0;

    // Pieces of 1, up to 8, up to 128 or up to 6000 bytes (more than the
    // reader's buffer holds), chosen by a small generator from the seed.
    static constexpr size_t kLongest[] = {1, 8, 128, 6000};
    size_t at = 0;
    while (at < stream.size()) {
        random = random * 1103515245u + 12345u;
        size_t length = 1 + (random >> 16) % kLongest[(random >> 8) & 3];
        if (length > stream.size() - at) length = stream.size() - at;
        sockets.queue_input(s, std::string(stream.substr(at, length)));
        at += length;
        if (c.state == kRead) read_step(c, FD_READ);
        // Now and then the send pass comes between two reads.
        if ((random >> 4) & 1) timer_send_pass(*engine.table);
    }
    if (c.state == kRead) read_step(c, FD_READ);  // nothing more: the quiet socket
    drain();
    if (!c.gopher_port && c.request_type != kRequestGopher) {
        check_answer(sockets.sent(s), c.request_type == kRequestHead);
    }
    for (Connection& other : engine.table->records) close_connection(other);
}

}  // namespace
}  // namespace qxs

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    static Process process;
    if (size < 2) return 0;
    const uint8_t options = data[0];
    const uint32_t random = data[1];
    const std::string_view stream = fuzz::as_text(data + 2, size - 2);

    fuzz::reset_state();
    fuzz::empty_folder("logs");
    fuzz::empty_folder("temp");
    settings.httpport = 8080;
    settings.view_connects = settings.view_files = (options & 2) != 0;
    settings.debug1 = settings.debug2 = settings.debug3 = (options & 4) != 0;
    settings.webdirbrowsing = (options & 8) != 0;

    test::FakeSockets sockets;
    engine.now = kNow;
    engine.now_ms = 0;
    engine.send_turn_ran = false;
    engine.last_send_turn_ms = 0;
    engine.totals = EngineTotals{};
    process.renew_table();
    engine.table = process.table;
    copy_text(engine.server_name, sizeof engine.server_name, "testhost");
    copy_text(engine.server_host_port, sizeof engine.server_host_port, "testhost:8080");

    run_connection(sockets, stream, options, random);
    check_access_log(1);
    if (options & 16) {
        // The same request again is counted in the entries of the first: a
        // page or referer whose key did not read back would gain a line in
        // the counter files on every request.
        const std::string counts = read_file("logs/counts.qxs");
        const std::string referers = read_file("logs/referer.qxs");
        run_connection(sockets, stream, options, random);
        check_access_log(2);
        auto lines = [](const std::string& text) {
            return std::count(text.begin(), text.end(), '\n');
        };
        fuzz::check(lines(read_file("logs/counts.qxs")) == lines(counts) &&
                        lines(read_file("logs/referer.qxs")) == lines(referers),
                    "the same request again gained a line in a counter file");
    }
    engine.table = nullptr;
    return 0;
}
