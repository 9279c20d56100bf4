// Answers to GET and HEAD through serve_get: redirects, report pages, files
// with their headers, image maps, and the 400, 401 and 404 answers.
#include "request/file_answers.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "cgi/cgi_monitor.h"
#include "config/extension_table.h"
#include "config/settings.h"
#include "engine/connection.h"
#include "engine/reader.h"
#include "engine/server.h"
#include "logging/dates.h"
#include "logging/reports.h"
#include "platform/dos_files.h"
#include "platform/strings.h"
#include "request/access_tables_for_test.h"
#include "request/error_answers.h"
#include "support/engine_fixture.h"

namespace qxs::test {
namespace {

constexpr const char* kVersion = "Personal-3.07b-32bit";

std::string redirect_text(const std::string& url) {
    return "HTTP/1.0 302 Found\r\nServer: QXServer/" + std::string(kVersion) +
           "\r\nMIME-version: 1.0\r\nLocation: " + url +
           "\r\nContent-type: text/html\r\n\r\n\r\nThis document is located at <A HREF=\"" + url +
           "\">" + url + "</A>\r\n";
}

class FileAnswersTest : public ::testing::Test {
protected:
    FileAnswersTest() {
        std::string ini =
            fixture.home.write("types.ini",
                               "[Extensions]\r\nmap1=htm 0 text/html\r\nmap2=gif 9 image/gif\r\n"
                               "map3=txt 0 text/plain\r\nmap4=* 9 application/octet-stream\r\n");
        extension_table.load_settings_file(ini.c_str());
    }
    ~FileAnswersTest() override { extension_table.clear(); }

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
        std::string command = (type == kRequestHead ? "HEAD " : "GET ") + path + " HTTP/1.0";
        set_raw_command(c, command.c_str());
        return c;
    }
    // serve_get and every send that follows; what the client received.
    std::string answer(Connection& c, int full = 1) {
        serve_get(c, full);
        fixture.drain_sends();
        return fixture.sent(c);
    }
    std::string get(const std::string& path) { return answer(request(path)); }

    static std::string file_header(const std::string& host_file, const char* type, long size) {
        struct stat st {};
        ::stat(host_file.c_str(), &st);
        char date[32];
        packed_file_date(dos::packed_date(st.st_mtime), dos::packed_time(st.st_mtime), date, 1);
        std::string header = "HTTP/1.0 200 OK\r\nServer: QXServer/" + std::string(kVersion) +
                             "\r\nMIME-version: 1.0\r\nLast-Modified: " + date + "\r\n";
        if (type != nullptr) header += "Content-Type: " + std::string(type) + "\r\n";
        return header + "Content-Length: " + std::to_string(size) + "\r\n\r\n";
    }

    EngineFixture fixture;
    AccessTablesForTest tables;
};

TEST_F(FileAnswersTest, RedirectsKeepUrlsCanonical) {
    fixture.home.write("html/docs/a.txt", "a");
    struct Case {
        const char* path;
        const char* url;
    };
    const Case cases[] = {
        {"", "http://testhost:8080/"},
        {"/docs", "http://testhost:8080/docs/"},
        {"/docs/index.html", "http://testhost:8080/docs/"},  // whether or not it exists
        {"/INDEX.HTM", "http://testhost:8080/"},
        {"/a/index.htm.old", "http://testhost:8080/a/"},
        // A decoded path cannot end the Location line or leave the quoted HREF.
        {"/a\r\nSet-Cookie: x=\"1\"/index.htm",
         "http://testhost:8080/a%0D%0ASet-Cookie:%20x=%221%22/"},
    };
    for (const Case& k : cases) {
        Connection& c = request(k.path);
        EXPECT_EQ(answer(c), redirect_text(k.url)) << k.path;
        EXPECT_TRUE(fixture.closed(c)) << k.path;
        EXPECT_EQ(c.state, kIdle);
    }
    EXPECT_NE(fixture.shell.log.find("Redirecting to [http://testhost:8080/docs/]\r\n"),
              std::string::npos);

    settings.httpport = 80;
    EXPECT_EQ(get(""), redirect_text("http://testhost/"));
}

TEST_F(FileAnswersTest, FilesGoOutWithTheirHeaders) {
    std::string gif = fixture.home.write("html/a.gif", std::string(1234, 'g'));
    std::string txt = fixture.home.write("html/notes.txt", "plain notes\n");
    std::string odd = fixture.home.write("html/data.xyz", "xyz");

    EXPECT_EQ(answer(request("/a.gif", kRequestHead)), file_header(gif, "image/gif", 1234));
    EXPECT_EQ(get("/a.gif"), file_header(gif, "image/gif", 1234) + std::string(1234, 'g'));
    EXPECT_EQ(get("/notes.txt"), file_header(txt, "text/plain", 12) + "plain notes\n");
    EXPECT_EQ(get("/data.xyz"), file_header(odd, "application/octet-stream", 3) + "xyz");

    // Without a version word the file goes out bare.
    Connection& bare = request("/notes.txt", kRequestGet, 0);
    EXPECT_EQ(answer(bare, 0), "plain notes\n");

    extension_table.clear();
    EXPECT_EQ(answer(request("/notes.txt", kRequestHead)), file_header(txt, nullptr, 12));
}

TEST_F(FileAnswersTest, TheTypeComesFromTheDocumentNotADottedDirectory) {
    std::string readme = fixture.home.write("home/john.doe/readme.txt", "hello");
    tables.alias("/home", "c:\\home\\john.doe\\");
    EXPECT_EQ(answer(request("/home/readme.txt", kRequestHead)),
              file_header(readme, "text/plain", 5));
}

TEST_F(FileAnswersTest, OtherSpellingsOfAnExtension) {
    std::string sht = fixture.home.write("html/page.sht", "server side");
    std::string htm = fixture.home.write("html/old.htm", "old page");
    EXPECT_EQ(get("/page.shtml"), file_header(sht, "application/octet-stream", 11) + "server side");
    EXPECT_EQ(answer(request("/old.HTML", kRequestHead)), file_header(htm, "text/html", 8));
}

TEST_F(FileAnswersTest, AlternativeHomePageGoesOutWithoutHeader) {
    fixture.home.write("alt.txt", "the other home\r\n");
    copy_text(settings.althomepage, sizeof settings.althomepage, "c:\\alt.txt");
    EXPECT_EQ(get("/"), "the other home\r\n");
    EXPECT_EQ(get("\\"), "the other home\r\n");
}

TEST_F(FileAnswersTest, BadPathEchoesTheRequestEscaped) {
    Connection& c = request("noslash<b>&\"");
    EXPECT_EQ(answer(c),
              "<h1>Error 400 Bad Request</h1>\r\n<h3>QXServer/" + std::string(kVersion) +
                  "</h3>\r\nYou said [GET noslash&lt;b&gt;&amp;&quot; HTTP/1.0], and either that "
                  "is an error, or this server doesn't understand it.");
    EXPECT_TRUE(fixture.closed(c));
}

TEST_F(FileAnswersTest, NotFoundWithRefererAndErrorLog) {
    fixture.home.write("html/empty.htm", "");
    Connection& c = request("/<i>missing.htm");
    copy_text(c.referer, sizeof c.referer, " http://site/a b\"><script>x</script>");
    EXPECT_EQ(answer(c),
              "HTTP/1.0 404 NOT FOUND\r\n\r\n<H1>404 FILE NOT FOUND</H1>\r\n"
              "<P>The file requested (/&lt;i&gt;missing.htm) was not found.</P>"
              "<p>Please inform the owner of the page below to update the link.<br>Return to "
              "<a href= http://site/a%20b&quot;&gt;&lt;script&gt;x&lt;/script&gt;> "
              "http://site/a b&quot;&gt;&lt;script&gt;x&lt;/script&gt;</a>");
    EXPECT_TRUE(fixture.closed(c));
    const std::string line =
        "Not found (/<i>missing.htm)  Referer ( http://site/a b\"><script>x</script>)\r\n";
    EXPECT_EQ(TempDir::read(fixture.home.file("logs/error.log")), line);
    EXPECT_NE(fixture.shell.log.find(line), std::string::npos);

    // An empty file is as good as a missing one; lines accumulate.
    EXPECT_EQ(get("/empty.htm"),
              "HTTP/1.0 404 NOT FOUND\r\n\r\n<H1>404 FILE NOT FOUND</H1>\r\n"
              "<P>The file requested (/empty.htm) was not found.</P>");
    EXPECT_EQ(TempDir::read(fixture.home.file("logs/error.log")),
              line + "Not found (/empty.htm)  Referer ()\r\n");
}

TEST_F(FileAnswersTest, DoublePeriodsAreNeverServed) {
    fixture.home.write("secret.txt", "secret");
    fixture.home.write("html/x/.keep", "");
    fixture.shell.take();
    std::string sent = get("/x/../../secret.txt");
    EXPECT_EQ(sent,
              "HTTP/1.0 404 NOT FOUND\r\n\r\n<H1>404 FILE NOT FOUND</H1>\r\n"
              "<P>The file requested (/x/../../secret.txt) was not found.</P>"
              "<H2>Double periods in filename!</H2><P>Double periods (..) in file names are not "
              "allowed by this server (QXServer for MSWindows)!</P>");
    EXPECT_NE(fixture.shell.log.find("Not found (/x/../../secret.txt)  Referer ()\r\n"
                                     "Double periods in filename!\r\n"),
              std::string::npos);
    // Nor through an image map.
    fixture.home.write("nav.map", "default /d.htm\n");
    EXPECT_EQ(get("/x/../../nav.map?1,1").find("HTTP/1.0 404 NOT FOUND"), 0u);
}

TEST_F(FileAnswersTest, OwnedAliasAsksForCredentials) {
    std::string file = fixture.home.write("private/plan.txt", "the plan");
    copy_text(settings.security_realm, sizeof settings.security_realm, "Private Area");
    tables.user("john", "secret");
    tables.alias("/private", "c:\\private\\", "john");
    fixture.home.write("private/nav.map", "default /private/plan.txt\n");

    const std::string refused =
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Private Area\"\r\n\r\n";
    EXPECT_EQ(get("/private/plan.txt"), refused);
    EXPECT_EQ(answer(request("/private/plan.txt", kRequestHead)), refused);
    EXPECT_EQ(get("/private/nav.map?1,1"), refused);

    Connection& c = request("/private/plan.txt");
    copy_text(c.auth_user, sizeof c.auth_user, "john");
    copy_text(c.auth_password, sizeof c.auth_password, "secret");
    EXPECT_EQ(answer(c), file_header(file, "text/plain", 8) + "the plan");
}

TEST_F(FileAnswersTest, ImageMapClicks) {
    fixture.home.write(
        "html/maps/nav.map",
        "rect /target.htm 0,0 50,50\ncircle http://elsewhere/c.htm 100,100 100,110\n");
    fixture.home.write("html/maps/empty.map", "");
    EXPECT_EQ(get("/maps/nav.map?10,20"), redirect_text("http://testhost:8080/target.htm"));
    EXPECT_EQ(get("/maps/nav.map?100,105"), redirect_text("http://elsewhere/c.htm"));

    Connection& missed = request("/maps/nav.map?99,60");
    EXPECT_EQ(answer(missed), "Nothing was found at location [99,60].");
    EXPECT_TRUE(fixture.closed(missed));
    EXPECT_EQ(get("/maps/nav.map?12"), "");

    fixture.shell.take();
    EXPECT_EQ(get("/maps/none.map?1,2"),
              "\r\n*** Error searching map file!\r\n\r\n Reason for error: Error opening map "
              "file\r\n");
    EXPECT_EQ(fixture.shell.take(),
              "\r\n*** Error searching map file!\r\n\r\n Reason for error: Error opening map "
              "file\r\n");

    // Without a click the map file is a file like any other.
    EXPECT_EQ(get("/maps/empty.map").find("HTTP/1.0 404 NOT FOUND"), 0u);
}

TEST_F(FileAnswersTest, ScriptsRunUnderAliasesThatAllowThem) {
    fixture.home.write("scripts/run.pl", "print 1;");
    tables.alias("/cgi", "c:\\scripts\\").scripts_allowed = true;
    Connection& c = request("/cgi/run.pl");
    int slot = c.slot;
    serve_get(c, 1);
    EXPECT_TRUE(TempDir::exists(fixture.home.file("temp/CGI-co" + std::to_string(slot) + ".qxs")));
}

TEST_F(FileAnswersTest, TrailingSlashGoesToTheListingNeverTo404) {
    fixture.home.write("html/docs/a.txt", "a");
    for (const char* path : {"/docs/", "/nosuchdir/"}) {
        std::string sent = get(path);
        EXPECT_EQ(sent.find("404"), std::string::npos) << path << "\n" << sent;
        EXPECT_EQ(sent.find("302 Found"), std::string::npos) << path;
    }
}

TEST_F(FileAnswersTest, DebugPageHoldsOnlyItsOwnConnection) {
    Connection& c = request("/~debug");
    serve_get(c, 1);
    std::string sent = fixture.sent(c);
    std::string head =
        "HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-Type: text/html\r\n\r\n"
        "<h2>Debug</h2><pre>";
    EXPECT_EQ(sent.substr(0, head.size()), head);
    EXPECT_EQ(sent.substr(sent.size() - 6), "</pre>");
    ASSERT_EQ(c.state, kRead);
    ASSERT_NE(c.hold_until, 0);
    EXPECT_FALSE(fixture.closed(c));

    // Whatever the client sends now is left alone.
    fixture.sockets.queue_input(c.sock, "GET /again HTTP/1.0\r\n\r\n");
    read_step(c, FD_READ);
    EXPECT_EQ(c.buffinlen, 0);

    // Another connection is served meanwhile.
    fixture.home.write("html/x.txt", "x");
    EXPECT_EQ(answer(request("/x.txt", kRequestGet, 0), 0), "x");

    cgi_monitor_pass(c.hold_until - 1);
    EXPECT_EQ(c.state, kRead);
    fixture.shell.take();
    cgi_monitor_pass(c.hold_until);
    EXPECT_EQ(c.state, kIdle);
    EXPECT_TRUE(fixture.closed(c));
    EXPECT_EQ(fixture.shell.log.find("timed out"), std::string::npos);
}

TEST_F(FileAnswersTest, HostRestrictionAnswers) {
    fixture.home.write("qxserver.ini",
                       "[Host Restrictions]\r\nLocal.redirect=/sorry.htm\r\n"
                       "Lan.redirect=http://other/\r\n");
    Alias& alias = tables.alias("/x", "c:\\x\\");
    struct Case {
        const char* access;
        std::string answer;
    };
    const Case cases[] = {
        {"Anywhere",
         "HTTP/1.0 403 Forbidden\r\n\r\n<h2>Sorry, unable to access this page from your host.  "
         "Access to this page is restricted.</h2>\r\n"},
        {"Local", redirect_text("http://testhost:8080/sorry.htm")},
        {"Lan", redirect_text("http://other/")},
    };
    for (const Case& k : cases) {
        std::string access = k.access;
        alias.access = access.data();
        Connection& c = request("/x/a.htm");
        c.alias = &alias;
        send_host_restricted(c);
        EXPECT_EQ(fixture.sent(c), k.answer) << k.access;
        EXPECT_TRUE(fixture.closed(c));
    }
}

}  // namespace
}  // namespace qxs::test
