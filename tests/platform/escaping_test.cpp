#include "platform/escaping.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace qxs {
namespace {

TEST(UrlDecode, DecodesInPlace) {
    struct Case {
        const char* input;
        std::string expected;  // up to the terminator; may hold NUL bytes
    } cases[] = {
        {"a+b%41&c=d", "a bA\rc=d"},
        {"%e9t%Af%0F", "\xe9t\xaf\x0f"},
        {"x%zzy%4g%\3771", std::string("x\0y@\x01", 5)},
        // A digit missing at the end counts as "0" and decoding ends there.
        {"ab%4", "ab@"},
        {"ab%", std::string("ab\0", 3)},
    };
    for (const Case& c : cases) {
        // Exactly as long as the text, so reading past the terminator shows.
        std::vector<char> text(c.input, c.input + std::strlen(c.input) + 1);
        EXPECT_EQ(url_decode(text.data()), text.data());
        EXPECT_EQ(std::string(text.data(), c.expected.size() + 1), c.expected + '\0') << c.input;
    }
    EXPECT_EQ(url_decode(nullptr), nullptr);
}

// Only the four markup characters change, and an entity is never cut in half.
TEST(HtmlEscape, EscapesMarkupAndCutsBeforeAnEntityThatDoesNotFit) {
    struct Case {
        const char* text;
        size_t size;
        const char* escaped;
    } cases[] = {
        {"<a&b \"q\">", 64, "&lt;a&amp;b &quot;q&quot;&gt;"},
        {"it's\t%41\x7f\xe9", 64, "it's\t%41\x7f\xe9"},
        {"&amp;", 64, "&amp;amp;"},
        {"a&b", 1, ""},
        {"a&b", 6, "a"},
        {"a&b", 7, "a&amp;"},
        {nullptr, 64, ""},
    };
    for (const Case& k : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(html_escape(k.text, out, k.size), std::strlen(k.escaped)) << k.size;
        EXPECT_STREQ(out, k.escaped) << k.size;
    }
    char out[2] = "b";
    EXPECT_EQ(html_escape("<", out, 0), 0u);  // no room at all writes nothing
    EXPECT_EQ(out[0], 'b');
}

}  // namespace
}  // namespace qxs
