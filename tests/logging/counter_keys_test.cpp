#include "logging/counter_keys.h"

#include <gtest/gtest.h>

#include <utility>

namespace qxs {
namespace {

// The common cases are checked through the log lines (access_log_test).
TEST(CounterKeys, CounterKeyIsThePathMadeIniSafe) {
    const std::pair<const char*, const char*> cases[] = {
        {"head /b HTTP/1.0", "/b"},
        {"POST /cgi-bin/x.exe?y HTTP/1.0", "/cgi-bin/x.exe"},
        {"GET ?x", "/"},
        {"PUT /x HTTP/1.0", "PUT /x HTTP/1.0"},
        // Names an INI file would read as a key=value split, a section or a comment.
        {"GET /a=b;c[d]%20e HTTP/1.0", "/a%3Db%3Bc%5Bd%5D%20e"},
        {";x[s]\ty", "%3Bx%5Bs%5D%09y"},
    };
    for (const auto& [logged, expected] : cases) {
        char key[1024];
        counter_key(logged, key, sizeof key);
        EXPECT_STREQ(key, expected) << logged;
    }
    // Cut to fit, never inside an escape.
    char out[6];
    ini_safe_name("ab=cd", out, sizeof out);
    EXPECT_STREQ(out, "ab%3D");
    ini_safe_name("abc=d", out, sizeof out);
    EXPECT_STREQ(out, "abc");
    ini_safe_name("http://x/?a=b", out, 1);
    EXPECT_STREQ(out, "");
}

}  // namespace
}  // namespace qxs
