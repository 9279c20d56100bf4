// The Basic credentials decoder: the input is the token of an Authorization
// header, decoded into rooms of every size from -1 to 40 bytes, each exactly
// as large as it says (so a write past it shows), and into the room a
// request gives it.
#include <cstring>
#include <string>
#include <vector>

#include "config/access_tables.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    const std::string token(fuzz::as_text(data, size));
    for (int room = -1; room <= 40; ++room) {
        std::vector<char> out(room > 0 ? static_cast<size_t>(room) : 1, '#');
        decode_base64(token.c_str(), out.data(), room);
        if (room <= 0) {
            fuzz::check(out[0] == '#', "written with no room");
        } else {
            fuzz::check(std::memchr(out.data(), '\0', out.size()) != nullptr,
                        "not terminated within its room");
        }
    }
    std::vector<char> large(token.size() + 1);
    decode_base64(token.c_str(), large.data(), static_cast<int>(large.size()));
    // Four characters give three bytes at most.
    fuzz::check(std::strlen(large.data()) <= (std::strlen(token.c_str()) + 3) / 4 * 3,
                "more bytes than the token holds");
    return 0;
}
