// Path mapping over a small tree with aliases, one of them owned. Input:
//   byte 0: bit 0 a gopher request (else a GET);
//   then "user:password" up to the first LF (the request's Basic
//   credentials);
//   the rest: the decoded virtual path, cut to the 1023 bytes a request path
//   holds.
// Checks: the mapped name fits its room; a mapped name never holds ".." nor
// a wildcard; and
// no name inside the owned alias's folder is handed out without its owner's
// credentials.
#include <cstring>
#include <string>
#include <vector>

#include "config/access_tables.h"
#include "engine/connection.h"
#include "fuzz_support.h"
#include "platform/strings.h"
#include "request/path_mapping.h"

namespace qxs {
namespace {

struct Process {
    Process() {
        fuzz::home();
        fuzz::write_file("html/page.html", "p");
        fuzz::write_file("html/old.htm", "o");
        fuzz::write_file("html/docs/a.txt", "a");
        fuzz::write_file("files/x.htm", "x");
        fuzz::write_file("home/john.doe/notes.htm", "n");
        fuzz::write_file("private/secret.html", "s");
        fuzz::reset_state();
        fuzz::load_tables(
            "[Aliases]\r\nAlias1=/pub d:\\files\\\r\nAlias2=/pub/data e:\\data\r\n"
            "Alias3=/home c:\\home\\john.doe\\\r\n"
            "Alias4=/private c:\\private\\ john\r\n"
            "Alias5=/staff c:\\staff\\ Staff\r\nAlias6=/SAME c:\\second\\\r\n"
            "[Users]\r\nUser1=john secret\r\nUser2=mary\r\n"
            "[Groups]\r\nGroup1=Staff john,mary\r\n");
    }
};

bool inside_private(const char* name) {
    const char* folder = "c:\\private";
    for (size_t i = 0; folder[i] != '\0'; ++i) {
        if (ascii_lower(name[i]) != folder[i]) return false;
    }
    return true;
}

}  // namespace
}  // namespace qxs

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    static Process process;
    if (size < 1) return 0;
    const int type = (data[0] & 1) != 0 ? kRequestGopher : kRequestGet;
    std::string_view rest = fuzz::as_text(data + 1, size - 1);
    std::string_view credentials = fuzz::take_until(rest, '\n');
    const std::string user(fuzz::take_until(credentials, ':'));
    const std::string password(credentials);

    fuzz::reset_state();
    char path[1024];
    copy_text(path, sizeof path, std::string(rest).c_str());
    std::vector<char> name(kMappedNameSize);
    const Alias* alias = nullptr;
    int result =
        aliasToDosDir(path, name.data(), type, "127.0.0.1", &alias, user.c_str(), password.c_str());
    fuzz::check(std::memchr(name.data(), '\0', name.size()) != nullptr, "name not terminated");
    if (result == kMapped) {
        fuzz::check(std::strstr(name.data(), "..") == nullptr, "a mapped name holds \"..\"");
        fuzz::check(std::strpbrk(name.data(), "*?") == nullptr, "a mapped name holds a wildcard");
        // As the server sees them: up to a NUL.
        const bool owner =
            std::strcmp(user.c_str(), "john") == 0 && std::strcmp(password.c_str(), "secret") == 0;
        fuzz::check(owner || !inside_private(name.data()),
                    "the owned folder without its owner's credentials");
    }
    return 0;
}
