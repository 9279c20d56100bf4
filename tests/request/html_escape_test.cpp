#include "request/html_escape.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qxs {
namespace {

TEST(HtmlEscape, EscapesTheFourMarkupCharactersAndNothingElse) {
    struct Case {
        const char* text;
        const char* escaped;
    } cases[] = {
        {"", ""},
        {"FETCH /", "FETCH /"},
        {"<script>", "&lt;script&gt;"},
        {"a&b \"q\"", "a&amp;b &quot;q&quot;"},
        {"it's\t%41\x7f\xe9", "it's\t%41\x7f\xe9"},
        {"&amp;", "&amp;amp;"},
    };
    for (const Case& c : cases) {
        char out[64];
        size_t n = html_escape(c.text, out, sizeof out);
        EXPECT_STREQ(out, c.escaped) << c.text;
        EXPECT_EQ(n, std::string(c.escaped).size()) << c.text;
    }
}

TEST(HtmlEscape, CutsBeforeAnEntityThatDoesNotFit) {
    struct Case {
        size_t size;
        const char* escaped;
    } cases[] = {
        {1, ""}, {2, "a"}, {3, "a"}, {6, "a"}, {7, "a&amp;"}, {8, "a&amp;b"}, {64, "a&amp;b"},
    };
    for (const Case& c : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        size_t n = html_escape("a&b", out, c.size);
        EXPECT_STREQ(out, c.escaped) << c.size;
        EXPECT_EQ(n, std::string(c.escaped).size()) << c.size;
    }
}

TEST(HtmlEscape, NullTextGivesEmptyAndNoRoomWritesNothing) {
    char out[4] = "abc";
    EXPECT_EQ(html_escape(nullptr, out, sizeof out), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(html_escape("<", out + 1, 0), 0u);
    EXPECT_EQ(out[1], 'b');
}

}  // namespace
}  // namespace qxs
