#include "request/html_escape.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qxs {
namespace {

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
