#include "request/listing.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logging/dates.h"
#include "request/html_title.h"
#include "request/link_file.h"
#include "support/engine_fixture.h"

namespace qxs {
namespace {

const std::string kOk = "HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-Type: text/html\r\n\r\n";
const std::string kGopherEnd = ".\r\n";  // one terminator line ends a menu

std::string html_head(const std::string& path) {
    return kOk + "<H1>Directory Contents</H1><H2>For \"" + path + "\"</H2>\r\n<HR><PRE>\r\n";
}

class ListingTest : public ::testing::Test {
protected:
    // Dated 2 January 1997 so listing lines are known.
    void file(const std::string& relative, const std::string& content) {
        tm noon{};
        noon.tm_year = 97, noon.tm_mday = 2, noon.tm_hour = 12, noon.tm_isdst = -1;
        const time_t t = mktime(&noon);
        const timeval times[2] = {{t, 0}, {t, 0}};
        utimes(fx.home.write(relative, content).c_str(), times);
    }
    void directory(const std::string& relative) { ::mkdir(fx.home.file(relative).c_str(), 0755); }

    std::string list(const char* virtual_path, int type = kRequestGet) {
        Connection& c = fx.connect();
        c.request_type = type;
        send_directory(c, virtual_path, type == kRequestGopher ? 0 : 1);
        fx.drain_sends();
        closed = fx.closed(c);
        return fx.sent(c);
    }

    test::EngineFixture fx;
    bool closed = false;
};

TEST_F(ListingTest, IndexPageIsServedWithoutLengthEvenWhenBrowsingIsOff) {
    settings.webdirbrowsing = 0;
    file("html/docs/index.htm", "<p>hi</p>");
    dos::FindData found{};
    ASSERT_TRUE(dos::find_first("c:\\html\\docs\\index.htm", &found));
    char modified[32];
    packed_file_date(found.date, found.time, modified, 1);
    const std::string header =
        "HTTP/1.0 200 OK\r\nServer: QXServer/Personal-3.07b-32bit\r\nMIME-version: "
        "1.0\r\nLast-Modified: " +
        std::string(modified) + "\r\nContent-Type: text/html\r\n\r\n";
    EXPECT_EQ(list("/docs/"), header + "<p>hi</p>");
    EXPECT_EQ(list("/docs/", kRequestHead), header);
    EXPECT_TRUE(closed);
}

TEST_F(ListingTest, BrowsingPermission) {
    fx.load_tables(
        "[Aliases]\r\nAlias1=/open/ c:\\html\\docs\\ Anybody Anywhere n n D\r\n"
        "Alias2=/shut/ c:\\html\\docs\\\r\n");
    directory("html/docs");
    file("html/txt/qxheader.txt", "x");
    const std::string gopher = "\r\n\r\n3Directory browsing is not allowed in this folder.\r\n";
    const std::string web =
        "HTTP/1.0 403 Forbidden\r\nServer: QXServer/Personal-3.07b-32bit\r\n\r\n\r\n"
        "\r\n<h2>Directory browsing is not allowed in this folder.</h2>\r\n";
    struct Case {
        const char* path;
        int type, webdirbrowsing;
        const std::string* refusal;  // nullptr: listed
    } cases[] = {
        {"/docs/", kRequestGet, 0, &web},       {"/docs/", kRequestGet, 1, nullptr},
        {"/txt/", kRequestGet, 0, nullptr},     {"/docs", kRequestGopher, 0, nullptr},
        {"/open/", kRequestGet, 0, nullptr},    {"/shut/", kRequestGet, 1, &web},
        {"/shut/", kRequestGopher, 1, &gopher},
    };
    for (const Case& t : cases) {
        settings.webdirbrowsing = t.webdirbrowsing;
        fx.shell.take();
        std::string answer = list(t.path, t.type);
        if (t.refusal == nullptr) {
            EXPECT_EQ(answer.find("Directory browsing"), std::string::npos) << t.path;
        } else {
            EXPECT_EQ(answer, *t.refusal) << t.path;
            EXPECT_EQ(fx.shell.log.rfind(gopher, 0), 0u);  // the log has the gopher text
        }
    }
}

// Link entries come first and hide the files they name.
TEST_F(ListingTest, GopherMenus) {
    file("gopher/docs/readme.txt", std::string(500, 'r'));
    file("gopher/docs/menu.gop", "Name=Home\r\nType=1\r\nPath=./SUB\r\n");
    directory("gopher/docs/sub");
    directory("gopher/docs/tools");
    directory("gopher/empty");
    EXPECT_EQ(list("/docs", kRequestGopher),
              "1Home\t1/docs/SUB\ttesthost\t70\r\n"
              "0File:   readme.txt is      500 bytes Jan  2, 1997\t0/docs/readme.txt\ttesthost\t70"
              "\r\n1Dir : tools\t1/docs/tools\ttesthost\t70\r\n" +
                  kGopherEnd);
    EXPECT_EQ(list("/empty", kRequestGopher), kGopherEnd);
    EXPECT_EQ(list("/nosuch", kRequestGopher),
              "3No files were found at this location!\r\n" + kGopherEnd);
}

TEST_F(ListingTest, HtmlLinesWithSizesLongNamesAndEscapedText) {
    settings.webdirbrowsing = 1;
    file("html/docs/big.bin", std::string(2000000, 'b'));
    file("html/docs/mid.dat", std::string(1500, 'm'));
    file("html/docs/a<b>&c.txt", std::string(500, 'a'));
    file("html/docs/abcdefghijklmnopqrst&uvwxy.txt", "x");
    directory("html/docs/Sub\"dir");
    directory("html/empty");
    EXPECT_EQ(
        list("/docs/"),
        html_head("/docs/") +
            "<br><A HREF = \"http:/docs/a%3Cb%3E%26c.txt\">File :             a&lt;b&gt;&amp;c.txt"
            "</A>  500 B  Jan  2, 1997  \r\n"
            "<br><A HREF = \"http:/docs/abcdefghijklmnopqrst%26uvwxy.txt\">File : "
            "abcdefghijklmnopqrst&amp;]</A>    1 B  Jan  2, 1997  \r\n"
            "<br><A HREF = \"http:/docs/big.bin\">File :                big.bin</A>    1 MB "
            "Jan  2, 1997  \r\n"
            "<br><A HREF = \"http:/docs/mid.dat\">File :                mid.dat</A>    1 kB "
            "Jan  2, 1997  \r\n"
            "<br><A HREF = \"http:/docs/Sub%22dir/\">Dir : Sub&quot;dir/</A>\r\n</PRE>\r\n");
    EXPECT_EQ(list("/empty/"), html_head("/empty/") + "</PRE>\r\n");
    EXPECT_EQ(list("/no<such>/"), html_head("/no&lt;such&gt;/") +
                                      "<H1>No files were found at this location!</H1></PRE>\r\n");
}

TEST_F(ListingTest, HeaderFilesIconsAndTitles) {
    settings.webdirbrowsing = 0;
    char folder[] = "/f.gif";
    settings.folder_icon = folder;
    fx.load_tables("[Extensions]\r\nmap1=txt 0 text/plain /t.gif\r\n");
    file("html/docs/qxheader.htm", "<h1>Mine</h1>\r\n");
    file("html/docs/QXHEADER.TXT", "Read me\r\n");
    file("html/docs/a.txt", "a");
    file("html/docs/icons/a.txt", "i");
    file("html/docs/page.HTML", "<html><title>Fish & Chips</title>");
    const std::string answer = list("/docs/");
    settings.folder_icon = nullptr;
    EXPECT_EQ(answer,
              kOk +
                  "<h1>Mine</h1>\n<pre>Read me\n</pre><HR><PRE>\r\n"
                  "<A HREF = \"http:/docs/a.txt\"><IMAGE ALIGN=MIDDLE SRC=/docs/icons/a.txt>"
                  "<img border=0 src=/t.gif>                  a.txt</A>    1 B  Jan  2, 1997  \r\n"
                  "<br><A HREF = \"http:/docs/icons/\"><img border=0 src=/f.gif> icons</a>\r\n"
                  "<br><A HREF = \"http:/docs/page.HTML\">File :              page.HTML</A>   "
                  "33 B  Jan  2, 1997 Fish &amp; Chips\r\n</PRE>\r\n");
}

// The first <title> or heading up to <h3>, cut at a line end or at 40
// characters, looked for in the first 1,024 bytes.
TEST_F(ListingTest, FindsHtmlTitles) {
    const std::string long_title = "<title>" + std::string(60, 'x') + "</title>";
    const std::string late = std::string(1020, ' ') + "<title>Late</title>";
    const std::string x40(40, 'x');
    const char* cases[][2] = {
        {"<body><p>x</p><H2>Intro</H2>", "Intro"},
        {"<h1>Head</h1><TITLE>Later</TITLE>", "Head"},
        {"<title>Line\r\nmore", "Line"},
        {"<title>no end", nullptr},
        {"<h4>Deep</h4>", nullptr},
        {long_title.c_str(), x40.c_str()},
        {late.c_str(), nullptr},
        {nullptr, nullptr},
    };
    char out[41];
    for (const auto& t : cases) {
        if (t[0] != nullptr) fx.home.write("t.htm", t[0]);
        const char* name = t[0] != nullptr ? "c:\\t.htm" : "c:\\missing.htm";
        EXPECT_STREQ(findHTMLtitle(name, out, 40), t[1]) << name << " " << (t[0] ? t[0] : "");
    }
    EXPECT_EQ(fx.shell.log, "Error opening htm file\r\n");
}

TEST_F(ListingTest, LinkFileEntries) {
    EXPECT_EQ(read_link_file("c:\\missing.gop"), -1);
    fx.home.write("m.gop",
                  "# a comment\r\nname=\r\nName= Home  \r\nType=1\r\nPath=./sub\r\n\r\n"
                  "name=Far\r\ntype=0\r\npath=/x.txt\r\nhost=far.example\r\nport=123456789\r\n"
                  "Name=" +
                      std::string(100, 'n') + "\r\nPATH=/a\r\npath=/b\r\n");
    ASSERT_EQ(read_link_file("c:\\m.gop"), 0);
    ASSERT_EQ(link_table.count, 4);
    // A long line is read in pieces of 79 characters: the name keeps 74.
    auto entry = [](int i) {
        const link_entry& e = link_table.entries[i];
        return std::string(e.name) + "|" + e.path + "|" + e.host + "|" + e.port + "|" +
               (e.local ? "local" : "far");
    };
    EXPECT_EQ(entry(0), " Home|./sub|testhost|70|local");
    EXPECT_EQ(entry(1), "Far|/x.txt|far.example|1234567|far");
    EXPECT_EQ(std::string(link_table.entries[2].name), std::string(74, 'n'));
    EXPECT_STREQ(link_table.entries[3].path, "/b");

    std::string many;
    for (int i = 0; i < 150; ++i) many += "Name=n" + std::to_string(i) + "\r\n";
    fx.home.write("m.gop", many);
    ASSERT_EQ(read_link_file("c:\\m.gop"), 0);
    EXPECT_EQ(link_table.count, kMaxLinkEntries);
    EXPECT_STREQ(link_table.entries[kMaxLinkEntries - 1].name, "n99");
}

TEST_F(ListingTest, LinkLines) {
    struct Case {
        link_entry entry;
        const char* html;
        const char* gopher;
    } cases[] = {
        {{"Far", '0', "/x.txt", "far.example", "70", false},
         "<A HREF = \"gopher://far.example:70/00/x.txt\">Far</A>\r\n",
         "0Far\t0/x.txt\tfar.example\t70\r\n"},
        {{"<b>", '0', ".", "testhost", "70", true},
         "<A HREF = \"http://testhost:70/docs/\">&lt;b&gt;</A>\r\n",
         "0<b>\t0/docs/\ttesthost\t70\r\n"},
    };
    char line[512];
    for (const Case& t : cases) {
        format_link_line(t.entry, "/docs/", 1, line, sizeof line);
        EXPECT_STREQ(line, t.html);
        line[0] = '\0';
        format_link_line(t.entry, "/docs", 0, line, sizeof line);
        EXPECT_STREQ(line, t.gopher);
    }
}

// A refused mapping ends the connection without an answer; a listing that
// cannot be written is told why on the screen log and answered with an
// error the client can show. Closing adds the access log's own lines.
TEST_F(ListingTest, Failures) {
    settings.webdirbrowsing = 1;
    EXPECT_EQ(list("/x/../y/"), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(fx.shell.take().rfind("Error sending dir.  aresult = -10\r\n", 0), 0u);

    std::strcpy(settings.tempdir, "c:\\nowhere\\");
    EXPECT_NE(list("/").find("500 Internal Server Error"), std::string::npos);
    EXPECT_EQ(list("", kRequestGopher),
              "3The listing of this folder could not be written on the server.\t\terror.host\t1"
              "\r\n.\r\n");
    EXPECT_TRUE(closed);
    EXPECT_EQ(fx.shell.take().rfind("UNABLE TO CREATE TEMP FILE!  [c:\\nowhere\\]\r\n"
                                    "  Check your TempDir config. Check your disk space.\r\n"
                                    "  Reason: No such file or directory\r\n",
                                    0),
              0u);
}

}  // namespace
}  // namespace qxs
