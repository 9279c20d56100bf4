// The escaping of text that crosses the network. Input: byte 0 chooses a
// small room (1 + byte % 32), the rest is the text. Checks:
//   - url_decode never lengthens a text;
//   - html_escape and percent_encode stay within their room, return the
//     length they wrote and never end in half an entity or half a "%XX";
//   - with room enough, html_escape reads back to the text, and url_decode
//     of percent_encode(text, kPathUnsafe) gives the text again (the links
//     of a listing rely on it).
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/escaping.h"

namespace {

using qxs::fuzz::check;

std::string html_unescape(const std::string& text) {
    static const char* const kEntities[][2] = {
        {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        bool entity = false;
        for (const auto& e : kEntities) {
            if (text.compare(i, std::strlen(e[0]), e[0]) == 0) {
                out += e[1];
                i += std::strlen(e[0]);
                entity = true;
                break;
            }
        }
        if (!entity) out += text[i++];
    }
    return out;
}

// An '&' of html_escape's output always begins a whole entity, a '%' of
// percent_encode's output is followed by two hex digits.
void check_escaped(const char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (out[i] == '&') check(std::memchr(out + i, ';', n - i) != nullptr, "half an entity");
    }
}

void check_encoded(const char* out, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (out[i] != '%') continue;
        check(i + 2 < n, "half an escape");
        check(std::isxdigit(static_cast<unsigned char>(out[i + 1])) &&
                  std::isxdigit(static_cast<unsigned char>(out[i + 2])),
              "an escape without two hex digits");
    }
}

template <typename Function>
void in_room(Function function, const std::string& text, size_t size,
             void (*check_output)(const char*, size_t)) {
    std::vector<char> out(size);
    size_t n = function(text.c_str(), out.data(), size);
    check(n < size && out[n] == '\0' && std::strlen(out.data()) == n,
          "output not terminated at its length within its room");
    check_output(out.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qxs;
    if (size < 1) return 0;
    const size_t small = 1 + data[0] % 32;
    const std::string input(fuzz::as_text(data + 1, size - 1));
    const std::string text(input.c_str());  // up to the first NUL, as the server sees it

    std::vector<char> decoded(input.begin(), input.end());
    decoded.push_back('\0');
    check(url_decode(decoded.data()) == decoded.data(), "url_decode returns another text");
    check(std::strlen(decoded.data()) <= text.size(), "url_decode lengthened the text");

    auto escape = [](const char* t, char* out, size_t room) { return html_escape(t, out, room); };
    auto encode = [](const char* t, char* out, size_t room) {
        return percent_encode(t, kPathUnsafe, out, room);
    };
    in_room(escape, text, small, check_escaped);
    in_room(encode, text, small, check_encoded);

    std::vector<char> out(6 * text.size() + 1);
    size_t n = html_escape(text.c_str(), out.data(), out.size());
    check(html_unescape(std::string(out.data(), n)) == text, "html_escape does not read back");
    check_escaped(out.data(), n);

    out.assign(3 * text.size() + 1, '\0');
    n = percent_encode(text.c_str(), kPathUnsafe, out.data(), out.size());
    check(n == std::strlen(out.data()), "percent_encode returned another length");
    check_encoded(out.data(), n);
    check(std::string(url_decode(out.data())) == text, "percent_encode does not decode back");

    for (char c : input) hex_digit_value(c);
    return 0;
}
