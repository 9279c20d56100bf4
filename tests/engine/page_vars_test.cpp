#include "engine/page_vars.h"

#include <sys/stat.h>
#include <utime.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "config/settings.h"
#include "engine/connection.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "platform/profile.h"
#include "platform/strings.h"
#include "support/engine_fixture.h"

namespace qxs {
namespace {

using namespace std::string_literals;

// Substitutes all of `src` through a destination of `size` bytes, call after
// call, and returns what the calls wrote one after the other.
std::string substitute_all(const NameList& list, const std::string& src, size_t size,
                           SubstituteState* end_state = nullptr) {
    SubstituteState state;
    std::vector<char> dst(size);
    std::string out;
    while (state.consumed < src.size()) {
        SubstituteState before = state;
        size_t n = substitute(list, src.data(), src.size(), dst.data(), size, &state);
        EXPECT_LT(n, size);
        EXPECT_EQ(dst[n], '\0');
        out.append(dst.data(), n);
        if (state.consumed == before.consumed && n == 0) {
            ADD_FAILURE() << "no progress with size " << size;
            break;
        }
    }
    if (end_state != nullptr) *end_state = state;
    return out;
}

class Substitution : public ::testing::Test {
protected:
    Substitution() {
        vars.list_add("full", "Lynx/2.8", 0, false, false);
        vars.list_add("empty", "", 0, false, false);
        vars.list_add("absent", nullptr, 0, false, false);
        vars.list_add("server_name", "host", 0, false, false);
        vars.list_add("remote_host", "10.0.0.1", 0, false, false);
    }
    static constexpr size_t kLongestValue = 8;
    NameList vars;
};

struct Case {
    std::string src;
    std::string expected;
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"Hello $full?[you use $full]!", "Hello you use Lynx/2.8!"},
        {"Hello $empty?[you use $empty]!", "Hello !"},
        {"$absent?[shown]$full?[shown]", "shown"},
        {"$full![first visit]$empty![first visit]", "first visit"},
        {"$full|[none] $empty|[no referer] $absent|[d]", "Lynx/2.8 no referer d"},
        {"Price: $5", "Price: $5"},
        {"$nothing?[text]/$nothing|[text]/$nothing![text]", "/text/text"},
        {"$$ a$$b $$$$", "$ a$b $$"},
        {"$server_name_x $FULL $remote_hostname", "host_x Lynx/2.8 10.0.0.1name"},
        // A hidden bracket skips its nested brackets; "]" closes only what is shown.
        {"$full?[a $empty?[hidden [x] y] b]c", "a  bc"},
        {"$full?[see [1] here]", "see [1 here]"},
        {"a]b $full?[]]", "a]b ]"},
        // The "[" right after the opening one does not nest.
        {"$empty?[[x]y]z", "y]z"},
        {"$empty?[ [x]y]z", "z"},
        // An operator without a bracket hides text up to "]" only behind a value.
        {"$full?x hidden] after", "Lynx/2.8 after"},
        {"$empty?x] after", "?x] after"},
        {"$full|", "Lynx/2.8"},
        // Unknown names: a "[" within the 31 characters after "$", before another "$".
        {"$" + std::string(30, 'z') + "[hidden]after", "after"},
        {"$" + std::string(31, 'z') + "[shown]", "$" + std::string(31, 'z') + "[shown]"},
        {"$" + std::string(29, 'z') + "|[shown]", "shown"},
        {"$no $full|[d]", "$no Lynx/2.8"},
        {"$[x]y end$", "y end$"},
        {"$unclosed?[never closed", ""},
        // NUL bytes are text, inside references' surroundings too.
        {"a\0$full\0b"s, "a\0Lynx/2.8\0b"s},
        {"$zz\0|[x]"s, "x"},
        {"$ful\0l"s, "$ful\0l"s},
    };
    return all;
}

TEST_F(Substitution, MarkupIsReplacedAsPagesExpect) {
    for (const Case& c : cases()) {
        EXPECT_EQ(substitute_all(vars, c.src, 4096), c.expected) << c.src;
    }
}

TEST_F(Substitution, CutAndContinuedGivesTheUncutResult) {
    std::string combined;
    for (const Case& c : cases()) combined += c.src;
    std::vector<std::string> inputs;
    for (const Case& c : cases()) inputs.push_back(c.src);
    inputs.push_back(combined);

    for (const std::string& src : inputs) {
        SubstituteState uncut_end;
        std::string uncut = substitute_all(vars, src, 65536, &uncut_end);
        for (size_t size = kLongestValue + 1; size <= 200; ++size) {
            SubstituteState end;
            ASSERT_EQ(substitute_all(vars, src, size, &end), uncut) << src << " size " << size;
            EXPECT_EQ(end.consumed, src.size());
            EXPECT_EQ(end.depth, uncut_end.depth);
        }
    }
}

TEST_F(Substitution, PiecesGoWholeUnlessOneAloneIsTooLarge) {
    const std::string src = "ab$full";
    SubstituteState state;
    char dst[9];
    // "ab" fits, the value would not fit behind it: it waits for the next call.
    EXPECT_EQ(substitute(vars, src.data(), src.size(), dst, 9, &state), 2u);
    EXPECT_STREQ(dst, "ab");
    EXPECT_EQ(state.consumed, 2u);
    // Alone in a destination too small for it, the value is cut rather than
    // stalling the page.
    EXPECT_EQ(substitute(vars, src.data(), src.size(), dst, 4, &state), 3u);
    EXPECT_STREQ(dst, "Lyn");
    EXPECT_EQ(state.consumed, src.size());
    EXPECT_EQ(substitute(vars, src.data(), src.size(), dst, 0, &state), 0u);
}

TEST(SubstitutionLimits, ABlockOfLongValuesGoesOutWholeThroughOutbuf) {
    const std::string raw(1023, 'r');
    NameList vars;
    vars.list_add("raw_command", raw.c_str(), 0, false, false);
    std::string src;
    while (src.size() < kFileBufSize) src += "$raw_command";
    src.resize(kFileBufSize);

    std::string expected;
    for (size_t i = 0; i + 12 <= src.size(); i += 12) expected += raw;
    expected += src.substr(src.size() - src.size() % 12);  // "$raw_com": no such name
    EXPECT_EQ(substitute_all(vars, src, kOutBufSize), expected);
}

// Page variables of a connection, and pages sent through them.
class PageVariables : public ::testing::Test {
protected:
    // A connection that asked for `page` (a file of the home's html folder).
    Connection& request(const char* raw, int type, const char* page = "page.htm",
                        const std::string& content = "<p>page</p>") {
        Connection& c = fixture.connect("10.1.2.3", 1000000000);
        set_raw_command(c, raw);
        c.request_type = type;
        copy_text(c.path, sizeof c.path, (std::string("c:\\html\\") + page).c_str());
        fixture.home.write(std::string("html/") + page, content);
        return c;
    }
    std::string value(const Connection& c, const char* name) {
        const NameEntry* e = c.vars.list_find(name);
        if (e == nullptr || std::strcmp(e->name, name) != 0) return "(missing)";
        return e->value != nullptr ? e->value : "(absent)";
    }
    std::string page(const Connection& c, const std::string& markup) {
        return substitute_all(c.vars, markup, kOutBufSize);
    }
    test::EngineFixture fixture;
};

TEST_F(PageVariables, RequestClientAndServerPointAtTheirTexts) {
    copy_text(settings.email, sizeof settings.email, "john@example.org");
    copy_text(settings.name, sizeof settings.name, "John");
    copy_text(settings.organization, sizeof settings.organization, "Example");
    copy_text(settings.logo, sizeof settings.logo, "/logo.gif");
    Connection& c = request("GET /page.htm HTTP/1.0", kRequestGet);
    copy_text(c.user_agent, sizeof c.user_agent, "Lynx/2.8");
    fill_page_variables(c);

    EXPECT_EQ(c.vars.list_find("raw_command")->value, c.raw_command);
    EXPECT_EQ(c.vars.list_find("user_agent")->value, c.user_agent);
    EXPECT_EQ(c.vars.list_find("referer")->value, c.referer);
    EXPECT_EQ(c.vars.list_find("server_name")->value, engine.server_name);
    EXPECT_EQ(c.vars.list_find("server_admin")->value, settings.email);
    EXPECT_EQ(c.vars.list_find("remote_host")->value, c.remote_host);
    EXPECT_EQ(page(c, "$request_method $server_admin_name/$server_admin_org/$server_admin_logo"),
              "GET John/Example//logo.gif");
    EXPECT_EQ(page(c, "$remote_host $remote_address $server_name"), "10.1.2.3 10.1.2.3 testhost");
    EXPECT_EQ(page(c, "$user_agent?[you use $user_agent]$referer|[no referer]"),
              "you use Lynx/2.8no referer");
    for (const NameEntry* e = c.vars.first(); e != nullptr; e = e->next) {
        EXPECT_FALSE(e->owns_name || e->owns_value) << e->name;
        EXPECT_EQ(e->tag, 0) << e->name;
    }
    EXPECT_EQ(engine.totals.total_posts, 0);
}

TEST_F(PageVariables, RequestMethodFollowsTheRequestAndCountsPosts) {
    struct Row {
        int type;
        const char* method;
        long posts;
    } rows[] = {{kRequestGet, "GET", 0},
                {kRequestHead, "HEAD", 0},
                {kRequestPost, "POST", 1},
                {kRequestGopher, "(missing)", 0}};
    for (const Row& row : rows) {
        engine.totals.total_posts = 0;
        Connection& c = request("x", row.type);
        fill_page_variables(c);
        EXPECT_EQ(value(c, "request_method"), row.method);
        EXPECT_EQ(engine.totals.total_posts, row.posts);
        close_connection(c);
    }
}

TEST_F(PageVariables, DatesComeFromTheStartAndTheFileAndStayPut) {
    Connection& c = request("GET /page.htm HTTP/1.0", kRequestGet);
    tm when{};
    when.tm_year = 101;
    when.tm_mon = 1;
    when.tm_mday = 3;
    when.tm_hour = 4;
    when.tm_min = 5;
    when.tm_sec = 6;
    when.tm_isdst = -1;
    time_t written = mktime(&when);
    utimbuf times{written, written};
    ASSERT_EQ(utime(fixture.home.file("html/page.htm").c_str(), &times), 0);
    fill_page_variables(c);

    const std::string start = log_date(c.start_time);
    log_date(12345);  // the static text of log_date moves on; the page's date does not
    EXPECT_EQ(value(c, "date"), start);
    char gmt[32];
    EXPECT_EQ(value(c, "last_modified_gmt"), gmt_date(written, gmt));
    EXPECT_EQ(value(c, "last_modified").substr(0, 25), "Sat, 03 Feb 2001 04:05:06");
    EXPECT_EQ(page(c, "[$last_modified_gmt]"), "[" + value(c, "last_modified_gmt") + "]");

    close_connection(c);
    Connection& gone = request("GET /gone.htm HTTP/1.0", kRequestGet, "gone.htm");
    std::remove(fixture.home.file("html/gone.htm").c_str());
    fill_page_variables(gone);
    EXPECT_EQ(value(gone, "last_modified"), "");
}

TEST_F(PageVariables, HitCountIsTheCountTheAccessLogKeepsForThePage) {
    struct Row {
        const char* raw;
        int keep_query;
        const char* count;
        const char* since;
    } rows[] = {
        {"GET /page.htm HTTP/1.0", 0, "12", "Mon Jan 01 00:00:00  1996"},
        {"GET /page.htm?q=1 HTTP/1.0", 0, "12", "Mon Jan 01 00:00:00  1996"},
        {"POST /page.htm?q=1 HTTP/1.0", 1, "12", "Mon Jan 01 00:00:00  1996"},
        {"GET /bare.htm HTTP/1.0", 0, "3", "(absent)"},
        {"GET", 0, "7", "since"},
        {"GET /never.htm HTTP/1.0", 0, "0", "(absent)"},
    };
    for (const Row& row : rows) {
        // Closing a connection counts its hit: every row starts from the same counts.
        fixture.home.write("logs/counts.qxs",
                           "[Commands]\r\n"
                           "/page.htm=12 Mon Jan 01 00:00:00  1996\r\n"
                           "/bare.htm=3\r\n"
                           "/=7 since\r\n");
        profile::forget_all();
        settings.logsearchstring = row.keep_query;
        Connection& c = request(row.raw, kRequestGet);
        fill_page_variables(c);
        EXPECT_EQ(value(c, "hit_count"), row.count) << row.raw;
        EXPECT_EQ(value(c, "hit_start_date"), row.since) << row.raw;
        EXPECT_EQ(page(c, "$hit_start_date|[none]"),
                  std::strcmp(row.since, "(absent)") == 0 ? "none" : row.since);
        close_connection(c);
    }
}

}  // namespace
}  // namespace qxs
