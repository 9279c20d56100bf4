#include "logging/counter_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace qxs {
namespace {

struct RequestCase {
    const char* what;
    const char* raw;
    bool keep_query;
    const char* logged;
};

// The common cases are checked through the log lines (access_log_test).
TEST(CounterKeys, LoggedRequest) {
    const RequestCase cases[] = {
        {"absent request", nullptr, true, "GopherRoot"},
        {"query at the end", "GET /a?b", false, "GET /a"},
        {"every query dropped", "x?1 y?2 z", false, "x y z"},
    };
    for (const RequestCase& c : cases) {
        char out[256];
        logged_request(c.raw, c.keep_query, out, sizeof out);
        EXPECT_STREQ(out, c.logged) << c.what;
    }
}

TEST(CounterKeys, LoggedRequestStaysInASmallBuffer) {
    char out[8] = "";
    logged_request("GET /abcdefgh HTTP/1.0", true, out, sizeof out);
    EXPECT_STREQ(out, "GET /ab");
    logged_request("", true, out, sizeof out);
    EXPECT_STREQ(out, "GopherR");
}

struct KeyCase {
    const char* logged;
    const char* key;
};

TEST(CounterKeys, CounterKey) {
    const KeyCase cases[] = {
        {"GET /a.htm HTTP/1.0", "/a.htm"},
        {"get /a.htm", "/a.htm"},
        {"HEAD /b HTTP/1.0", "/b"},
        {"POST /cgi-bin/x.exe?y HTTP/1.0", "/cgi-bin/x.exe"},
        {"GET /q?a=b HTTP/1.0", "/q"},
        {"GET", "/"},
        {"GET ?x", "/"},
        {"GopherRoot", "GopherRoot"},
        {"1/docs/readme", "1/docs/readme"},
        {"PUT /x HTTP/1.0", "PUT /x HTTP/1.0"},
        // Names that would otherwise be read as a key=value split, a
        // section or a comment.
        {"GET /a=b;c[d]%20e HTTP/1.0", "/a%3Db%3Bc%5Bd%5D%20e"},
        {"[section]", "%5Bsection%5D"},
        {";comment", "%3Bcomment"},
        {"sel\tquery", "sel%09query"},
    };
    for (const KeyCase& c : cases) {
        char key[1024];
        counter_key(c.logged, key, sizeof key);
        EXPECT_STREQ(key, c.key) << c.logged;
    }
}

TEST(CounterKeys, IniSafeNameNeverCutsAnEscape) {
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
