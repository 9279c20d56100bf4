#include "logging/url_decode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

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
        size_t size = std::strlen(c.input) + 1;
        std::unique_ptr<char[]> text(new char[size]);
        std::memcpy(text.get(), c.input, size);
        EXPECT_EQ(url_decode(text.get()), text.get());
        EXPECT_EQ(std::string(text.get(), c.expected.size()), c.expected) << c.input;
        EXPECT_EQ(text[c.expected.size()], '\0') << c.input;
    }
    EXPECT_EQ(url_decode(nullptr), nullptr);
}

}  // namespace
}  // namespace qxs
