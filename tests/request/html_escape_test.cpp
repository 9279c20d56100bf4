#include "request/html_escape.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

namespace qxs {
namespace {

TEST(HtmlEscape, EscapesTheFourMarkupCharactersAndNothingElse) {
    const char* cases[][2] = {
        {"", ""},
        {"<script>", "&lt;script&gt;"},
        {"a&b \"q\"", "a&amp;b &quot;q&quot;"},
        {"it's\t%41\x7f\xe9", "it's\t%41\x7f\xe9"},
        {"&amp;", "&amp;amp;"},
    };
    for (const auto& c : cases) {
        char out[64];
        EXPECT_EQ(html_escape(c[0], out, sizeof out), std::strlen(c[1])) << c[0];
        EXPECT_STREQ(out, c[1]) << c[0];
    }
}

// An entity is never cut in half; no room at all writes nothing.
TEST(HtmlEscape, CutsBeforeAnEntityThatDoesNotFit) {
    const std::pair<size_t, const char*> cases[] = {
        {1, ""}, {6, "a"}, {7, "a&amp;"}, {8, "a&amp;b"}};
    for (const auto& [size, escaped] : cases) {
        char out[64];
        std::memset(out, 'x', sizeof out);
        EXPECT_EQ(html_escape("a&b", out, size), std::strlen(escaped)) << size;
        EXPECT_STREQ(out, escaped) << size;
    }
    char out[4] = "abc";
    EXPECT_EQ(html_escape(nullptr, out, sizeof out), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(html_escape("<", out + 1, 0), 0u);
    EXPECT_EQ(out[1], 'b');
}

}  // namespace
}  // namespace qxs
