#include "logging/url_decode.h"

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

}  // namespace
}  // namespace qxs
