// Server-side image maps: the input's first line is the click (the query
// "x,y" a client sends), the rest the map file. The answer goes once into the
// room the server gives it and once into a small buffer.
#include <cstring>
#include <string>
#include <vector>

#include "cgi/image_map.h"
#include "fuzz_support.h"

namespace {

void click(const std::string& where, size_t size) {
    std::vector<char> result(size, '#');
    result[size - 1] = '\0';
    int outcome = qxs::search_image_map("c:\\html\\nav.map", where.c_str(), result.data(), size);
    qxs::fuzz::check(outcome >= -2 && outcome <= 1, "an outcome outside the contract");
    qxs::fuzz::check(std::memchr(result.data(), '\0', size) != nullptr,
                     "the answer is not terminated within its room");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    fuzz::reset_state();
    std::string_view rest = fuzz::as_text(data, size);
    const std::string where(fuzz::take_until(rest, '\n'));
    fuzz::write_file("html/nav.map", rest);
    click(where, 1024);
    click(where, 8);
    return 0;
}
