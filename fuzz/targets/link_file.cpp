// Link files: the input is the bytes of a directory's link file ("menu.gop"),
// read into the link table; every entry is then made into its HTML and its
// gopher line, once with room enough and once into a small buffer, and the
// listing asks which names the links hide.
#include <cstring>
#include <vector>

#include "engine/server.h"
#include "fuzz_support.h"
#include "platform/strings.h"
#include "request/link_file.h"

namespace {

void check_line(const qxs::link_entry& entry, int html, size_t size) {
    std::vector<char> out(size);
    size_t n = qxs::format_link_line(entry, "/docs", html, out.data(), size);
    qxs::fuzz::check(n == 0 || (n < size && out[n] == '\0' && std::strlen(out.data()) == n),
                     "a link line is not terminated at its length");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    fuzz::reset_state();
    copy_text(engine.server_name, sizeof engine.server_name, "testhost");
    fuzz::write_file("html/docs/menu.gop", fuzz::as_text(data, size));
    fuzz::check(read_link_file("c:\\html\\docs\\menu.gop") == 0, "the link file is not read");
    fuzz::check(link_table.count >= 1 && link_table.count <= kMaxLinkEntries,
                "link table count out of range");
    for (int i = 0; i < link_table.count; ++i) {
        const link_entry& entry = link_table.entries[i];
        for (int html = 0; html <= 1; ++html) {
            check_line(entry, html, 8192);
            check_line(entry, html, 24);
        }
    }
    hidden_by_link("a.txt");
    hidden_by_link("");
    return 0;
}
