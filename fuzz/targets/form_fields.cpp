// The form fields of a POST body, written into a CGI program's profile
// file. Input: the body, as the content file holds it.
// Checks: the profile keeps its sections whatever the fields hold ([CGI],
// [System] and [Extra Headers] once each, [Form Literal] and [Form External]
// at most once, no other), and every line of a form section is name=value.
#include <fstream>
#include <iterator>
#include <string>

#include "cgi/cgi_files.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "fuzz_support.h"
#include "platform/strings.h"
#include "support/fake_sockets.h"

namespace qxs {
namespace {

constexpr time_t kNow = 1000000000;

std::string read_file(const std::string& relative) {
    std::ifstream in(fuzz::home() + "/" + relative, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void check_profile(const std::string& profile) {
    int cgi = 0, system = 0, headers = 0, literal = 0, external = 0;
    bool in_form = false;
    for (size_t start = 0; start < profile.size();) {
        size_t end = profile.find("\r\n", start);
        fuzz::check(end != std::string::npos, "a profile line without its CR LF");
        const std::string line = profile.substr(start, end - start);
        start = end + 2;
        fuzz::check(line.find_first_of("\r\n") == std::string::npos, "a line end inside a line");
        if (!line.empty() && line[0] == '[') {
            in_form = line == "[Form Literal]" || line == "[Form External]";
            cgi += line == "[CGI]";
            system += line == "[System]";
            headers += line == "[Extra Headers]";
            literal += line == "[Form Literal]";
            external += line == "[Form External]";
            fuzz::check(
                in_form || line == "[CGI]" || line == "[System]" || line == "[Extra Headers]",
                "a section the server does not write");
        } else if (in_form && !line.empty()) {
            fuzz::check(line.find('=') != std::string::npos, "a form line without '='");
        }
    }
    fuzz::check(cgi == 1 && system == 1 && headers == 1 && literal <= 1 && external <= 1,
                "a section twice or missing");
}

}  // namespace
}  // namespace qxs

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    static ConnectionTable* table = create_table(kNow);
    fuzz::reset_state();
    fuzz::empty_folder("temp");
    fuzz::write_file("temp/CGI-co0.qxs", fuzz::as_text(data, size));

    test::FakeSockets sockets;
    engine.table = table;
    engine.now = kNow;
    Connection& c = table->records[take_slot(*table, sockets.open_connection(), 0, kNow)];
    c.request_type = kRequestPost;
    copy_text(c.path, sizeof c.path, "/cgi/form.exe");
    c.content_length = static_cast<long>(size);

    CgiLaunch launch;
    copy_text(launch.profile, sizeof launch.profile, "c:\\temp\\CGI-in0.qxs");
    copy_text(launch.content, sizeof launch.content, "c:\\temp\\CGI-co0.qxs");
    copy_text(launch.output, sizeof launch.output, "c:\\temp\\CGI-ou0.qxs");
    launch.profile_host = host_path(launch.profile);
    launch.content_host = host_path(launch.content);
    launch.output_host = host_path(launch.output);
    fuzz::check(writecgifile(c, launch) == 0, "the profile file could not be written");
    check_profile(read_file("temp/CGI-in0.qxs"));
    close_connection(c);
    return 0;
}
