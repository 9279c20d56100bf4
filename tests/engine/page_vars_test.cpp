#include "engine/page_vars.h"

#include <utime.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "engine/name_list.h"
#include "logging/dates.h"
#include "support/engine_fixture.h"

namespace qxs {
namespace {

using namespace std::string_literals;

// Substitutes all of `src` through a destination of `size` bytes, call after
// call, and returns what the calls wrote one after the other.
std::string substitute_all(const NameList& list, const std::string& src, size_t size) {
    SubstituteState state;
    std::vector<char> dst(size);
    std::string out;
    while (state.consumed < src.size()) {
        size_t before = state.consumed;
        size_t n = substitute(list, src.data(), src.size(), dst.data(), size, &state);
        EXPECT_LT(n, size);
        EXPECT_EQ(dst[n], '\0');
        out.append(dst.data(), n);
        if (state.consumed == before && n == 0) {
            ADD_FAILURE() << "no progress with size " << size;
            break;
        }
    }
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
    NameList vars;
};

const std::pair<std::string, std::string> kCases[] = {
    {"Hi $full?[you use $full]!$empty?[hidden $empty]", "Hi you use Lynx/2.8!"},
    {"$full![first visit]$empty![first visit]", "first visit"},
    {"$full|[none] $empty|[no referer] $absent|[d]", "Lynx/2.8 no referer d"},
    {"$nothing?[text]/$nothing|[text]/$nothing![text]", "/text/text"},
    {"a$$b $$$$", "a$b $$"},
    {"$server_name_x $FULL $remote_hostname", "host_x Lynx/2.8 10.0.0.1name"},
    // A hidden bracket skips its nested brackets; "]" closes only what is shown.
    {"$full?[a $empty?[hidden [x] y] b]c", "a  bc"},
    {"$full?[see [1] here]", "see [1 here]"},
    {"a]b $full?[]]", "a]b ]"},
    // The "[" right after the opening one does not nest.
    {"$empty?[[x]y]z", "y]z"},
    // An operator without a bracket hides text up to "]" only behind a value.
    {"$full?x hidden] after", "Lynx/2.8 after"},
    {"$empty?x] after", "?x] after"},
    {"$full|", "Lynx/2.8"},
    // Unknown names: a "[" within the 31 characters after "$", before another "$".
    {"$" + std::string(30, 'z') + "[hidden]after", "after"},
    {"$" + std::string(31, 'z') + "[shown]", "$" + std::string(31, 'z') + "[shown]"},
    {"$no $full|[d]", "$no Lynx/2.8"},
    {"$[x]y end$", "y end$"},
    {"$unclosed?[never closed", ""},
    // NUL bytes are text, inside references' surroundings too.
    {"a\0$full\0b"s, "a\0Lynx/2.8\0b"s},
    {"$ful\0l"s, "$ful\0l"s},
};

// Cut anywhere from one byte more than the longest value on, a block gives
// what it gives uncut.
TEST_F(Substitution, MarkupIsReplacedAsPagesExpectHoweverItIsCut) {
    std::string all;
    for (const auto& [src, expected] : kCases) {
        all += src;
        for (size_t size = 9; size <= 200; ++size) {
            ASSERT_EQ(substitute_all(vars, src, size), expected) << src << " size " << size;
        }
    }
    const std::string uncut = substitute_all(vars, all, 65536);
    for (size_t size = 9; size <= 200; ++size) ASSERT_EQ(substitute_all(vars, all, size), uncut);
}

TEST_F(Substitution, PiecesGoWholeUnlessOneAloneIsTooLarge) {
    const std::string src = "ab$full";
    SubstituteState state;
    char dst[9];
    EXPECT_EQ(substitute(vars, src.data(), src.size(), dst, 9, &state), 2u);
    EXPECT_STREQ(dst, "ab");
    // Cut rather than stall the page.
    EXPECT_EQ(substitute(vars, src.data(), src.size(), dst, 4, &state), 3u);
    EXPECT_STREQ(dst, "Lyn");
    EXPECT_EQ(state.consumed, src.size());
    EXPECT_EQ(substitute(vars, src.data(), src.size(), dst, 0, &state), 0u);
}

class PageVariables : public ::testing::Test {
protected:
    // A connection that asked for html/page.htm of the home.
    Connection& request(const char* raw, int type = kRequestGet) {
        Connection& c = fx.connect("10.1.2.3", 1000000000);
        set_raw_command(c, raw);
        c.request_type = type;
        copy_text(c.file_name, sizeof c.file_name, "c:\\html\\page.htm");
        fill_page_variables(c);
        return c;
    }
    static std::string value(const Connection& c, const char* name) {
        const NameEntry* e = c.vars.list_find(name);
        if (e == nullptr || std::strcmp(e->name, name) != 0) return "(missing)";
        return e->value != nullptr ? e->value : "(absent)";
    }
    test::EngineFixture fx;
};

// The client, the server and the operator's names are checked through a
// real browser (the demo end-to-end test); these are the dates.
TEST_F(PageVariables, DatesOfTheRequestAndThePage) {
    fx.home.write("html/page.htm", "<p>page</p>");
    tm when{};
    when.tm_year = 101, when.tm_mon = 1, when.tm_mday = 3, when.tm_hour = 4, when.tm_min = 5;
    when.tm_sec = 6, when.tm_isdst = -1;
    const time_t written = mktime(&when);
    utimbuf times{written, written};
    ASSERT_EQ(utime(fx.home.file("html/page.htm").c_str(), &times), 0);
    Connection& c = request("GET /page.htm HTTP/1.0");
    const std::string start = log_date(c.start_time);
    log_date(12345);  // the static text of log_date moves on; the page's date does not
    EXPECT_EQ(value(c, "date"), start);
    char gmt[32];
    EXPECT_EQ(value(c, "last_modified_gmt"), gmt_date(written, gmt));
    EXPECT_EQ(value(c, "last_modified").substr(0, 25), "Sat, 03 Feb 2001 04:05:06");
    close_connection(c);
    std::remove(fx.home.file("html/page.htm").c_str());
    EXPECT_EQ(value(request("GET /page.htm HTTP/1.0"), "last_modified"), "");
}

TEST_F(PageVariables, TheClientsTextsCannotPutMarkupIntoThePage) {
    Connection& c = fx.connect("10.1.2.3", 1000000000);
    set_raw_command(c, "GET /page.htm?<b> HTTP/1.0");
    copy_text(c.user_agent, sizeof c.user_agent, "<script>x()</script>");
    copy_text(c.referer, sizeof c.referer, "\"><img src=x onerror=y()>");
    fill_page_variables(c);
    EXPECT_EQ(substitute_all(c.vars, "$raw_command $user_agent <a href=\"$referer\">", kOutBufSize),
              "GET /page.htm?&lt;b&gt; HTTP/1.0 &lt;script&gt;x()&lt;/script&gt; "
              "<a href=\"&quot;&gt;&lt;img src=x onerror=y()&gt;\">");
}

TEST_F(PageVariables, MethodAndHitCountFollowTheRequest) {
    const std::string since = "Mon Jan 01 00:00:00  1996";
    struct Row {
        const char* raw;
        int type;
        const char* method;
        const char* count;
        std::string since;
    } rows[] = {
        {"GET /page.htm HTTP/1.0", kRequestGet, "GET", "12", since},
        {"POST /page.htm?q=1 HTTP/1.0", kRequestPost, "POST", "12", since},
        {"HEAD /bare.htm HTTP/1.0", kRequestHead, "HEAD", "3", "(absent)"},
        {"1/never", kRequestGopher, "(missing)", "0", "(absent)"},
    };
    settings.logsearchstring = 1;
    for (const Row& row : rows) {
        // Closing a connection counts its hit: every row starts from the same counts.
        fx.home.write("logs/counts.qxs",
                      "[Commands]\r\n/page.htm=12 " + since + "\r\n/bare.htm=3\r\n");
        profile::forget_all();
        engine.totals.total_posts = 0;
        Connection& c = request(row.raw, row.type);
        EXPECT_EQ(value(c, "request_method"), row.method);
        EXPECT_EQ(engine.totals.total_posts, row.type == kRequestPost ? 1 : 0);
        EXPECT_EQ(value(c, "hit_count"), row.count) << row.raw;
        EXPECT_EQ(value(c, "hit_start_date"), row.since) << row.raw;
        close_connection(c);
    }
}

TEST(NameList, RepeatedNamesAreNumberedWithoutRegardToCase) {
    NameList list;
    for (const char* name : {"name", "Name", "x", "NAME", "names"}) {
        ASSERT_EQ(list.list_add(name, "v", 0, false, false), 1);
    }
    std::string names;
    for (const NameEntry* e = list.first(); e != nullptr; e = e->next) {
        names += std::string(e->name) + ":" + std::to_string(e->duplicates) + " ";
    }
    EXPECT_EQ(names, "names:0 NAME_2:0 x:0 Name_1:0 name:2 ");
}

TEST(NameList, FindTakesTheLongestPrefix) {
    NameList list;
    for (const char* name : {"remote_host", "remote_hostname", "a", "A"}) {
        list.list_add(name, name, 0, true, false);
    }
    const auto found = [](const NameEntry* e) { return e != nullptr ? e->name : "(none)"; };
    const std::pair<const char*, std::string> cases[] = {
        {"REMOTE_HOSTNAMES and more", "remote_hostname"},
        {"remote_hostnam", "remote_host"},
        {"remote_hos", "(none)"},
        {"a_1x", "A_1"},
        {"", "(none)"},
        {"$anything", "$"},
    };
    for (const auto& [text, name] : cases) EXPECT_EQ(found(list.list_find(text)), name) << text;
    // The bounded look-up: the name must end inside the text, and a NUL in it
    // is a byte like any other that matches no name.
    EXPECT_EQ(found(list.list_find("remote_hostname", 14)), std::string("remote_host"));
    EXPECT_EQ(found(list.list_find("$", 0)), std::string("(none)"));
    EXPECT_EQ(found(list.list_find("a_\0001", 4)), std::string("a"));
}

TEST(NameList, CopiedTextsAreOwnedAndOthersAreTheCallers) {
    NameList list;
    char name[] = "field";
    char value[] = "v1";
    list.list_add(name, value, 0, true, true);
    list.list_add("plain", value, 0, false, false);
    list.list_add("absent", nullptr, 0, true, true);
    name[0] = value[0] = 'X';
    EXPECT_STREQ(list.list_find("field")->value, "v1");
    EXPECT_EQ(list.list_find("plain")->value, value);
    EXPECT_EQ(list.list_find("absent")->value, nullptr);
    // A numbered name is the entry's own even when its name was not copied.
    list.list_add("plain", "2", 0, false, false);
    EXPECT_TRUE(list.list_find("plain_1")->owns_name);
}

// Past the entries kept inside the list (page variables never get there),
// and again after clearing.
TEST(NameList, GrowsPastItsPoolAndIsReusableAfterClearing) {
    NameList list;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 100; ++i) list.list_add(std::to_string(i).c_str(), "v", i, true, false);
        EXPECT_STREQ(list.list_find("99")->name, "99");
        list.list_clear();
        EXPECT_TRUE(list.list_is_empty());
    }
}

}  // namespace
}  // namespace qxs
