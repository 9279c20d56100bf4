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
        {"", ""},
        {"plain/path.htm?x=y;z", "plain/path.htm?x=y;z"},
        {"%41%42c", "ABc"},
        {"%e9t%C3%A9", "\xe9t\xc3\xa9"},
        {"%zz", std::string(1, '\0')},
        {"x%zzy", std::string("x\0y", 3)},
        {"%4g", "@"},
        // A digit missing at the end counts as "0" and decoding ends there.
        {"%4", "@"},
        {"ab%4", "ab@"},
        {"ab%", std::string("ab\0", 3)},
        {"%", std::string(1, '\0')},
        {"+&+", " \r "},
    };
    for (const Case& c : cases) {
        // Exactly as long as the text, so reading past the terminator shows.
        size_t size = std::strlen(c.input) + 1;
        std::unique_ptr<char[]> text(new char[size]);
        std::memcpy(text.get(), c.input, size);
        EXPECT_EQ(url_decode(text.get()), text.get());
        std::string decoded(text.get(), c.expected.size());
        EXPECT_EQ(decoded, c.expected) << c.input;
        EXPECT_EQ(text[c.expected.size()], '\0') << c.input;
    }
}

TEST(UrlDecode, NoTextGivesNone) {
    EXPECT_EQ(url_decode(nullptr), nullptr);
}

TEST(UrlDecode, HexDigitValues) {
    struct Case {
        char c;
        int value;
    } cases[] = {{'0', 0}, {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
                 {'g', 0}, {'G', 0}, {' ', 0},  {'%', 0},  {'\0', 0}, {'\xff', 0}};
    for (const Case& c : cases) EXPECT_EQ(hex_digit_value(c.c), c.value) << c.c;
}

}  // namespace
}  // namespace qxs
