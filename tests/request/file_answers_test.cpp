// Answers to GET and HEAD through serve_get.
#include "request/file_answers.h"

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "cgi/cgi_monitor.h"
#include "engine/reader.h"
#include "logging/dates.h"
#include "request/error_answers.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

std::string redirect_text(const std::string& url) {
    return "HTTP/1.0 302 Found\r\nServer: QXServer/Personal-3.07b-32bit\r\nMIME-version: "
           "1.0\r\nLocation: " +
           url + "\r\nContent-type: text/html\r\n\r\n\r\nThis document is located at <A HREF=\"" +
           url + "\">" + url + "</A>\r\n";
}

const std::string kNotFound = "HTTP/1.0 404 NOT FOUND\r\n\r\n<H1>404 FILE NOT FOUND</H1>\r\n";

// What a request with a version word gets before a text that once went out
// bare.
std::string status_line(const char* status) {
    return std::string("HTTP/1.0 ") + status +
           "\r\nServer: QXServer/Personal-3.07b-32bit\r\nContent-type: text/html\r\n\r\n";
}

class FileAnswersTest : public ::testing::Test {
protected:
    FileAnswersTest() { tables(""); }
    // The extension table, and these aliases and users.
    void tables(const std::string& more) {
        fixture.load_tables(
            "[Extensions]\r\nmap1=htm 0 text/html\r\nmap2=gif 9 image/gif\r\n"
            "map3=txt 0 text/plain\r\nmap4=* 9 application/octet-stream\r\n" +
            more);
    }

    // A request as the dispatcher hands it over; `path` may carry "?query".
    Connection& request(const std::string& path, int type = kRequestGet, int full = 1) {
        Connection& c = fixture.connect();
        copy_text(c.path, sizeof c.path, path.c_str());
        if (char* mark = std::strchr(c.path, '?'); mark != nullptr) {
            *mark = '\0';
            c.query_string = mark + 1;
        }
        c.request_type = type;
        c.full_request = full;
        set_raw_command(c,
                        ((type == kRequestHead ? "HEAD " : "GET ") + path + " HTTP/1.0").c_str());
        return c;
    }
    // What the client received from serve_get and every send that follows.
    std::string answer(Connection& c) {
        serve_get(c, c.full_request);
        fixture.drain_sends();
        return fixture.sent(c);
    }
    std::string get(const std::string& path) { return answer(request(path)); }
    std::string head(const std::string& path) { return answer(request(path, kRequestHead)); }

    // The 200 header of a file; size -1 for a page that goes out through its
    // page variables, whose length only the close tells.
    static std::string file_header(const std::string& host_file, const char* type, long size) {
        struct stat st {};
        ::stat(host_file.c_str(), &st);
        char date[32];
        packed_file_date(dos::packed_date(st.st_mtime), dos::packed_time(st.st_mtime), date, 1);
        std::string header =
            "HTTP/1.0 200 OK\r\nServer: QXServer/Personal-3.07b-32bit\r\n"
            "MIME-version: 1.0\r\nLast-Modified: " +
            std::string(date) + "\r\n";
        if (type != nullptr) header += "Content-Type: " + std::string(type) + "\r\n";
        if (size >= 0) header += "Content-Length: " + std::to_string(size) + "\r\n";
        return header + "\r\n";
    }

    EngineFixture fixture;
};

TEST_F(FileAnswersTest, RedirectsKeepUrlsCanonical) {
    fixture.home.write("html/docs/a.txt", "a");
    const char* cases[][2] = {
        {"", "http://testhost:8080/"},
        {"/docs", "http://testhost:8080/docs/"},
        {"/INDEX.HTM", "http://testhost:8080/"},
        {"/a/index.htm.old", "http://testhost:8080/a/"},
        // A decoded path cannot end the Location line or leave the quoted HREF.
        {"/a\r\nSet-Cookie: x=\"1\"/index.htm",
         "http://testhost:8080/a%0D%0ASet-Cookie:%20x=%221%22/"},
    };
    for (const auto& k : cases) {
        Connection& c = request(k[0]);
        EXPECT_EQ(answer(c), redirect_text(k[1])) << k[0];
        EXPECT_TRUE(fixture.closed(c)) << k[0];
    }
    settings.httpport = 80;
    EXPECT_EQ(get(""), redirect_text("http://testhost/"));
}

TEST_F(FileAnswersTest, FilesGoOutWithTheirHeaders) {
    std::string gif = fixture.home.write("html/a.gif", std::string(1234, 'g'));
    std::string txt = fixture.home.write("html/notes.txt", "plain notes\n");
    std::string sht = fixture.home.write("html/page.sht", "server side");
    std::string htm = fixture.home.write("html/old.htm", "old page");
    std::string readme = fixture.home.write("home/john.doe/readme.txt", "hello");
    tables("[Aliases]\r\nAlias1=/home c:\\home\\john.doe\\\r\n");

    EXPECT_EQ(get("/a.gif"), file_header(gif, "image/gif", 1234) + std::string(1234, 'g'));
    // Other spellings of an extension, and never a dotted directory's.
    EXPECT_EQ(get("/page.shtml"), file_header(sht, "application/octet-stream", 11) + "server side");
    EXPECT_EQ(head("/old.HTML"), file_header(htm, "text/html", -1));
    EXPECT_EQ(head("/home/readme.txt"), file_header(readme, "text/plain", 5));
    // Without a version word the file goes out bare.
    EXPECT_EQ(answer(request("/notes.txt", kRequestGet, 0)), "plain notes\n");
    extension_table.clear();
    EXPECT_EQ(head("/notes.txt"), file_header(txt, nullptr, 12));

    fixture.home.write("alt.txt", "the other home\r\n");
    copy_text(settings.althomepage, sizeof settings.althomepage, "c:\\alt.txt");
    for (const char* root : {"/", "\\"}) EXPECT_EQ(get(root), "the other home\r\n") << root;
}

// The client sees its request escaped; the logs keep it as it came.
TEST_F(FileAnswersTest, ErrorAnswersEchoTheRequestEscaped) {
    fixture.home.write("html/empty.htm", "");
    fixture.home.write("html/x/.keep", "");
    fixture.home.write("secret.txt", "secret");
    fixture.home.write("nav.map", "default /d.htm\n");
    const std::string referer = " http://site/a b\"><script>x</script>";
    struct Case {
        const char* path;
        std::string referer, answer;
    } cases[] = {
        {"/<i>missing.htm", referer,
         kNotFound +
             "<P>The file requested (/&lt;i&gt;missing.htm) was not found.</P>"
             "<p>Please inform the owner of the page below to update the link.<br>Return to "
             "<a href= http://site/a%20b&quot;&gt;&lt;script&gt;x&lt;/script&gt;> "
             "http://site/a b&quot;&gt;&lt;script&gt;x&lt;/script&gt;</a>"},
        // An empty file is as good as a missing one.
        {"/empty.htm", "", kNotFound + "<P>The file requested (/empty.htm) was not found.</P>"},
        {"noslash<b>&\"", "",
         status_line("400 Bad Request") +
             "<h1>Error 400 Bad Request</h1>\r\n<h3>QXServer/Personal-3.07b-32bit</h3>\r\nYou said "
             "[GET noslash&lt;b&gt;&amp;&quot; HTTP/1.0], and either that is an error, or this "
             "server doesn't understand it."},
        {"/x/../../secret.txt", "",
         kNotFound +
             "<P>The file requested (/x/../../secret.txt) was not found.</P><H2>Double periods "
             "in filename!</H2><P>Double periods (..) in file names are not allowed by this "
             "server (QXServer for MSWindows)!</P>"},
    };
    for (const Case& k : cases) {
        Connection& c = request(k.path);
        copy_text(c.referer, sizeof c.referer, k.referer.c_str());
        EXPECT_EQ(answer(c), k.answer) << k.path;
        EXPECT_TRUE(fixture.closed(c)) << k.path;
    }
    EXPECT_EQ(get("/x/../../nav.map?1,1").find(kNotFound), 0u);
    const std::string line = "Not found (/<i>missing.htm)  Referer (" + referer + ")\r\n";
    EXPECT_NE(fixture.shell.log.find(line), std::string::npos);
    EXPECT_NE(fixture.shell.log.find("Referer ()\r\nDouble periods in filename!\r\n"),
              std::string::npos);
    EXPECT_EQ(TempDir::read(fixture.home.file("logs/error.log"))
                  .rfind(line + "Not found (/empty.htm)  Referer ()\r\n", 0),
              0u);
}

// A click on a map is no way round the owner's password.
TEST_F(FileAnswersTest, OwnedAliasAsksForCredentials) {
    fixture.home.write("private/plan.txt", "the plan");
    fixture.home.write("private/nav.map", "default /private/plan.txt\n");
    copy_text(settings.security_realm, sizeof settings.security_realm, "Private Area");
    tables("[Users]\r\nUser1=john secret\r\n[Aliases]\r\nAlias1=/private c:\\private\\ john\r\n");
    for (const char* path : {"/private/plan.txt", "/private/nav.map?1,1"}) {
        EXPECT_EQ(get(path),
                  "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Private "
                  "Area\"\r\n\r\n")
            << path;
    }
}

TEST_F(FileAnswersTest, ImageMapClicks) {
    fixture.home.write(
        "html/maps/nav.map",
        "rect /target.htm 0,0 50,50\ncircle http://elsewhere/c.htm 100,100 100,110\n");
    fixture.home.write("html/maps/empty.map", "");
    const std::string failed =
        "\r\n*** Error searching map file!\r\n\r\n Reason for error: Error opening map file\r\n";
    const std::pair<const char*, std::string> cases[] = {
        {"/maps/nav.map?10,20", redirect_text("http://testhost:8080/target.htm")},
        {"/maps/nav.map?100,105", redirect_text("http://elsewhere/c.htm")},
        {"/maps/nav.map?99,60",
         status_line("404 Not Found") + "Nothing was found at location [99,60]."},
        {"/maps/nav.map?12", status_line("404 Not Found")},
        {"/maps/none.map?1,2", status_line("404 Not Found") + failed},
    };
    for (const auto& [path, expected] : cases) EXPECT_EQ(get(path), expected) << path;
    // A simple request (no version word) still gets the text alone.
    EXPECT_EQ(answer(request("/maps/nav.map?99,60", kRequestGet, 0)),
              "Nothing was found at location [99,60].");
    EXPECT_NE(fixture.shell.log.find(failed), std::string::npos);
    // Without a click the map file is a file like any other.
    EXPECT_EQ(get("/maps/empty.map").find(kNotFound), 0u);
}

// A script in an alias that allows them starts with its content file.
TEST_F(FileAnswersTest, ScriptsStart) {
    fixture.home.write("scripts/run.pl", "print 1;");
    tables("[Aliases]\r\nAlias1=/cgi c:\\scripts\\ Anybody Anywhere s\r\n");
    Connection& c = request("/cgi/run.pl");
    serve_get(c, 1);
    EXPECT_TRUE(
        TempDir::exists(fixture.home.file("temp/CGI-co" + std::to_string(c.slot) + ".qxs")));
}

TEST_F(FileAnswersTest, DebugPageHoldsOnlyItsOwnConnection) {
    Connection& c = request("/~debug");
    serve_get(c, 1);
    EXPECT_EQ(fixture.sent(c).rfind("HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-Type: "
                                    "text/html\r\n\r\n<h2>Debug</h2><pre>",
                                    0),
              0u);
    EXPECT_EQ(c.hold_until, engine.now + 10);
    // Whatever the client sends now is left alone, and the end is no time-out.
    fixture.sockets.queue_input(c.sock, "GET /again HTTP/1.0\r\n\r\n");
    read_step(c, FD_READ);
    EXPECT_EQ(c.buffinlen, 0);

    fixture.shell.take();
    cgi_monitor_pass(c.hold_until - 1);
    EXPECT_FALSE(fixture.closed(c));
    cgi_monitor_pass(c.hold_until);
    EXPECT_TRUE(fixture.closed(c));
    EXPECT_EQ(fixture.shell.log.find("timed out"), std::string::npos);
}

TEST_F(FileAnswersTest, HostRestrictionAnswers) {
    fixture.home.write("qxserver.ini",
                       "[Host Restrictions]\r\nLocal.redirect=/sorry.htm\r\n"
                       "Lan.redirect=http://other/\r\n");
    const std::pair<std::string, std::string> cases[] = {
        {"Anywhere",
         "HTTP/1.0 403 Forbidden\r\n\r\n<h2>Sorry, unable to access this page from your host.  "
         "Access to this page is restricted.</h2>\r\n"},
        {"Local", redirect_text("http://testhost:8080/sorry.htm")},
        {"Lan", redirect_text("http://other/")},
    };
    for (auto [access, expected] : cases) {
        tables("[Aliases]\r\nAlias1=/x c:\\x\\ Anybody " + access + "\r\n");
        Connection& c = request("/x/a.htm");
        c.alias = &access_tables.aliases[0];
        send_host_restricted(c);
        EXPECT_EQ(fixture.sent(c), expected) << access;
        EXPECT_TRUE(fixture.closed(c));
    }
}

}  // namespace
}  // namespace qxs::test
