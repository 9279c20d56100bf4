// CGI programs, forms and message boards with the real binary, curl and the
// CGI test program (tests/cgi/cgi_test_program.cpp) linked under the names
// of the scripts.
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

using Lines = std::vector<std::string>;

// The variables a program is given, in the order they are set.
const char* const kCgiVariables[] = {
    "Request_Protocol", "Request_Method", "Executable_Path", "SCRIPT_NAME",  "Logical_Path",
    "PATH_INFO",        "Physical_Path",  "PATH_TRANSLATED", "QUERY_STRING", "Content_Type",
    "Content_Length",   "Content_File",   "Server_Software", "Server_Name",  "Server_Port",
    "Server_Admin",     "CGI_Version",    "Remote_Address",  "Output_File",  "Content_FIle",
    "USER_AGENT"};

// What the dump program reported.
struct Dump {
    Lines args;
    std::string cwd;
    std::string fds;
    Lines variables;  // the CGI variables among its environment, "NAME=value"
    std::string input;
    std::string profile;
};

Dump parse_dump(const std::string& body) {
    Dump dump;
    size_t input = body.find("\nstdin ");
    size_t profile = body.find("\nprofile\n", input);
    if (profile == std::string::npos) return dump;
    dump.input = body.substr(input + 7, profile - input - 7);
    dump.profile = body.substr(profile + 9);
    std::istringstream lines(body.substr(0, input));
    for (std::string line; std::getline(lines, line);) {
        std::string key = line.substr(0, line.find(' ') + 1);
        std::string rest = line.substr(key.size());
        if (key == "arg ") dump.args.push_back(rest);
        if (key == "cwd ") dump.cwd = rest;
        if (key == "fds ") dump.fds = rest;
        for (const char* name : kCgiVariables) {
            if (key == "env " && rest.rfind(std::string(name) + "=", 0) == 0) {
                dump.variables.push_back(rest);
            }
        }
    }
    return dump;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A request as the server sees it, and what the tables make of it.
struct Request {
    std::string method;  // "GET" or "POST"
    std::string path;    // the script's path, without path info
    std::string logical;
    std::string physical;
    std::string query;
    std::string content_type;
    size_t length = 0;
    std::string user;
    std::string password;  // written only for a path with '$'
};

class CgiE2e : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_program("curl")) GTEST_SKIP() << "curl is not installed";
        server.write_settings("security_realm=Test Realm\r\npollevery=20\r\n",
                              "[CGI]\r\nGMT_Offset=-0700\r\nPerl_Compiler=" CGI_TEST_PROGRAM
                              "\r\nPerl_Dir=c:\\cgi\\\r\nTimeout=180\r\n"
                              "[Registration]\r\nemail=admin@test\r\n"
                              "[Aliases]\r\nAlias1=/cgi/ c:\\cgi\\ Anybody Anywhere C\r\n"
                              "Alias2=/cgi-std/ c:\\cgistd\\ Anybody Anywhere C\r\n"
                              "Alias3=/messages/ c:\\boards\\ Anybody Anywhere - M\r\n"
                              "Alias4=/messages/closed/ c:\\boards\\ Anybody Anywhere - -\r\n"
                              "Alias5=/nocgi/ c:\\cgi\\ Anybody Anywhere - -\r\n"
                              "Alias6=/guests/ c:\\boards\\ Anybody Anywhere - M\r\n"
                              "Alias7=/messages/private/ c:\\boards\\ ann Anywhere - M\r\n"
                              "[Users]\r\nUser1=ann secret\r\n");
        home().write("cgi/dump$.pl", "# run by Perl_Compiler\n");
        home().write("cgistd/.keep", "");
        for (const char* script :
             {"cgi/dump.exe", "cgi/dump.bat", "cgi/echo.exe", "cgi/echo me.exe", "cgi/echo me.bat",
              "cgi/silent.exe", "cgistd/dump.exe"}) {
            ASSERT_EQ(::symlink(CGI_TEST_PROGRAM, home().file(script).c_str()), 0) << script;
        }
        home().write("cgi/plain.exe", "not a program\n");
        home().write("boards/guests.htm", "<h1>Guests</h1>\r\n");
        home().write("boards/book.htm", "<h1>Book</h1>\r\n");
        ASSERT_TRUE(server.start());
    }
    void TearDown() override {
        if (server.running()) {
            EXPECT_EQ(server.stop(), 0);
        }
        EXPECT_EQ(server.standard_error(), "");
    }

    TempDir& home() { return server.home(); }
    std::string temp(const char* name) { return home().file(std::string("temp/") + name); }
    std::string url(const std::string& path) {
        return "'http://127.0.0.1:" + std::to_string(server.http_port()) + path + "'";
    }
    std::string curl(const std::string& options, const std::string& path) {
        return run_command("curl -s --max-time 20 -A TestAgent " + options + " " + url(path))
            .output;
    }
    // The whole answer to a request given with its empty line.
    std::string raw(const std::string& request) { return exchange(server.http_port(), request); }

    // The profile file the tables give for the request.
    std::string expected_profile(const Request& r, const std::string& form) {
        std::string t = "[CGI]\r\nRequest Protocol=HTTP/1.0\r\nRequest Method=" + r.method +
                        "\r\nExecutable Path=" + r.path + "\r\n";
        if (!r.logical.empty()) t += "Logical Path=" + r.logical + "\r\n";
        t += "Physical Path=" + r.physical + "\r\n";
        if (!r.query.empty()) t += "Query String=" + r.query + "\r\n";
        t += "Referer=\r\nContent Type=" + r.content_type +
             "\r\nContent Length=" + std::to_string(r.length) +
             "\r\nContent File=" + temp("CGI-co0.qxs") +
             "\r\nServer Software=QXServer/Personal-3.07b-32bit\r\nServer Name=localhost\r\n"
             "Server Port=" +
             std::to_string(server.http_port()) +
             "\r\nServer Admin=admin@test\r\nCGI Version=CGI/1.1 (WIN)\r\n"
             "Remote Address=127.0.0.1\r\nAuthentication Method=Basic\r\n"
             "Authentication Realm=Test Realm\r\nAuthenticated Username=" +
             r.user + "\r\n";
        if (!r.password.empty()) t += "Authenticated Password=" + r.password + "\r\n";
        return t + "\r\n[System]\r\nGMT Offset=-0700\r\nDebug Mode=No\r\nOutput File = " +
               temp("CGI-ou0.qxs") + "\r\nContent File = " + temp("CGI-co0.qxs") +
               "\r\n\r\n[Extra Headers]\r\nUser-Agent= TestAgent\r\n" + form;
    }
    // The variables the tables give, in their order.
    Lines expected_variables(const Request& r) {
        Lines rows = {"Request_Protocol=HTTP/1.0", "Request_Method=" + r.method,
                      "Executable_Path=" + r.path, "SCRIPT_NAME=" + r.path};
        if (!r.logical.empty())
            rows.insert(rows.end(), {"Logical_Path=" + r.logical, "PATH_INFO=" + r.logical});
        rows.insert(rows.end(), {"Physical_Path=" + r.physical, "PATH_TRANSLATED=" + r.physical});
        if (!r.query.empty()) rows.push_back("QUERY_STRING=" + r.query);
        rows.insert(
            rows.end(),
            {"Content_Type=" + r.content_type, "Content_Length=" + std::to_string(r.length),
             "Content_File=" + temp("CGI-co0.qxs"), "Server_Software=QXServer/Personal-3.07b-32bit",
             "Server_Name=localhost", "Server_Port=" + std::to_string(server.http_port()),
             "Server_Admin=admin@test", "CGI_Version=CGI/1.1 (WIN)", "Remote_Address=127.0.0.1",
             "Output_File=" + temp("CGI-ou0.qxs"), "Content_FIle=" + temp("CGI-co0.qxs"),
             "USER_AGENT= TestAgent"});
        return rows;
    }

    ServerProcess server;
};

// Each convention hands its program the command line, environment, profile
// file (and batch file) of the tables, with the host's names for the files.
TEST_F(CgiE2e, EachConventionHandsTheProgramWhatTheTablesSay) {
    const std::string type = "application/x-www-form-urlencoded";
    const std::string long_value(300, 'x');
    const std::string form = "a=1&a=2&long=" + long_value + "&comma=x%2Cy&empty=";
    const std::string files[] = {temp("CGI-in0.qxs"), temp("CGI-co0.qxs"), temp("CGI-ou0.qxs")};
    struct Case {
        std::string curl_options;
        std::string url;
        Request request;
        Lines args;
        std::string form;  // the profile's form sections
        std::string input;
        std::string cwd;
    } cases[] = {
        {"",
         "/cgi/dump.exe/a/b?x=1",
         {"GET", "/cgi/dump.exe", "/a/b", home().file("html/a/b"), "x=1", "", 0, "", ""},
         {home().file("cgi/dump.exe"), files[0], files[1], files[2], "x=1"},
         "",
         "",
         ""},
        {"-u ann:secret --data '" + form + "'",
         "/cgi/dump$.pl",
         {"POST", "/cgi/dump$.pl", "", "", "", type, form.size(), "ann", "secret"},
         {CGI_TEST_PROGRAM, home().file("cgi/dump$.pl"), files[0]},
         "[Form External]\r\ncomma=" + temp("CGI-in0.0") + " 3\r\nlong=" + temp("CGI-in0.1") +
             " 300\r\n[Form Literal]\r\na_1=2\r\na=1\r\n",
         "",
         home().file("cgi")},
        {"--data hello=world",
         "/cgi-std/dump.exe",
         {"POST", "/cgi-std/dump.exe", "", "", "", type, 11, "", ""},
         {home().file("cgistd/dump.exe"), files[0], files[1], files[2]},
         "[Form Literal]\r\nhello=world\r\n",
         "hello=world",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        Dump dump = parse_dump(curl(c.curl_options, c.url));
        EXPECT_EQ(dump.args, c.args);
        EXPECT_EQ(dump.variables, expected_variables(c.request));
        EXPECT_EQ(dump.profile, expected_profile(c.request, c.form));
        EXPECT_EQ(dump.input, c.input);
        // No descriptor of the server (a listening socket) reaches a program.
        EXPECT_EQ(dump.fds, "0 1 2");
        if (!c.cwd.empty()) {
            EXPECT_EQ(dump.cwd, c.cwd);
        }
    }
    EXPECT_EQ(TempDir::read(temp("CGI-in0.1")), long_value);

    // The batch convention: the generated file, its SET lines as the
    // environment (SET drops an empty value), and the script CALLed with the
    // four arguments. '=' in the query string is written as %%3D.
    Dump dump = parse_dump(curl("--data f=1", "/cgi/dump.bat?a=b&c=d"));
    EXPECT_EQ(dump.args,
              (Lines{home().file("cgi/dump.bat"), files[0], files[1], files[2], "a=b&c=d"}));
    Lines rows =
        expected_variables({"POST", "/cgi/dump.bat", "", "", "a%%3Db&c%%3Dd", type, 3, "", ""});
    std::string batch = "REM [CGI]\r\n";
    for (const std::string& row : rows) {
        if (row.rfind("Output_File=", 0) == 0) batch += "\r\nREM [System]\r\n";
        batch += "SET " + row + "\r\n";
    }
    EXPECT_EQ(TempDir::read(temp("qxscgi0.bat")),
              batch + "CALL " + home().file("cgi/dump.bat") + " %1 %2 %3 %4\r\n");
    std::erase_if(rows, [](const std::string& row) { return row.back() == '='; });
    rows[4] = "QUERY_STRING=a%3Db&c%3Dd";
    EXPECT_EQ(dump.variables, rows);

    // What visitors sent is readable by the server's user alone.
    for (const char* name :
         {"CGI-in0.qxs", "CGI-co0.qxs", "CGI-ou0.qxs", "qxscgi0.bat", "CGI-in0.0", "CGI-in0.1"}) {
        struct stat st {};
        ASSERT_EQ(::stat(temp(name).c_str(), &st), 0) << name;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
    }
}

// The program's first line decides the answer; failures have texts of
// their own.
TEST_F(CgiE2e, AnswersFollowTheProgramsOutput) {
    const std::string too_long(900, 'q');
    const std::string error_500 =
        "HTTP/1.0 500 Internal Server Error\r\nServer: QXServer/Personal-3.07b-32bit\r\n"
        "Content-type: text/html\r\n\r\n<h1>QXServer - CGI Error</h1>An error occurred when "
        "trying to run that program.<p>  The result '";
    const std::pair<std::string, std::string> cases[] = {
        {"GET /cgi/echo.exe?Location:%20/other.htm%0D%0A%0D%0Aignored HTTP/1.0",
         "HTTP/1.0 302 Found\r\nServer: QXServer/Personal-3.07b-32bit\r\nMIME-version: 1.0\r\n"
         "Location: /other.htm\r\nContent-type: text/html\r\n\r\n\r\nThis document is located "
         "at <A HREF=\"/other.htm\">/other.htm</A>\r\n"},
        {"GET /cgi/echo.exe?content-TYPE:%20text/html%0D%0A%0D%0A%3Cb%3Ehi%3C/b%3E HTTP/1.0",
         "HTTP/1.0 200 OK\r\nMIME-version: 1.0\r\nContent-type: text/html\r\n\r\n<b>hi</b>"},
        {"GET /cgi/echo.exe?HTTP/1.0%20200%20OK%0D%0AX:%20y%0D%0A%0D%0Araw HTTP/1.0",
         "HTTP/1.0 200 OK\r\nX: y\r\n\r\nraw"},
        {"GET /cgi/echo.exe?Location:%0D%0Ano%20value HTTP/1.0", "Location:\r\nno value"},
        {"GET /cgi/echo%20me.exe?one%20word HTTP/1.0", "one word"},
        {"GET /cgi/echo%20me.bat?one%20word HTTP/1.0", "one word"},
        {"GET /cgi/silent.exe HTTP/1.0",
         "HTTP/1.0 502 Bad Gateway\r\nServer: QXServer/Personal-3.07b-32bit\r\n"
         "Content-type: text/html\r\n\r\n<h1>CGI no output</h1>"},
        {"GET /cgi/silent.exe", "<h1>CGI no output</h1>"},
        {"GET /cgi/plain.exe HTTP/1.0", error_500 + "Permission denied'\r\n"},
        {"GET /cgi/echo.exe?" + too_long + " HTTP/1.0", error_500 + "Argument list too long'\r\n"},
        {"GET /cgi/missing.exe HTTP/1.0", ""},
    };
    for (const auto& [request, expected] : cases) {
        EXPECT_EQ(raw(request + "\r\n\r\n"), expected) << request;
    }
    EXPECT_TRUE(contains(server.screen_log(), "Error finding cgi file.  FS was 0.\r\n"));
    EXPECT_TRUE(contains(server.screen_log(), "CGI command line of "));
}

// Every refusal of a post, and the failures of a post to a board.
TEST_F(CgiE2e, PostsThatCannotBeTakenAreRefused) {
    const auto status = [](const char* line) {
        return std::string("HTTP/1.0 ") + line +
               "\r\nServer: QXServer/Personal-3.07b-32bit\r\nContent-type: text/html\r\n\r\n";
    };
    const std::string not_allowed =
        "<h2>Sorry, posting to message boards is not allowed in this directory!</h2>";
    const std::pair<const char*, std::string> cases[] = {
        {"/form.cgi", status("400 Bad Request") + "<h2>Sorry, unknown post command!</h2>"},
        {"/upload", status("400 Bad Request") +
                        "<h2>Sorry, unknown post command!  Missing extention or scriptname.</h2>"},
        {"/nocgi/dump.exe",
         status("403 Forbidden") +
             "<h2>Sorry, posting or running CGI scripts is not allowed in this directory!</h2>"},
        {"/messages/closed/guests", status("403 Forbidden") + not_allowed},
        {"/messages/notes", status("403 Forbidden") + not_allowed},
        {"/messages/guests/nothing",
         status("404 Not Found") + "<h2>Sorry, message board not found!</h2>"},
        {"/messages/private/guests",
         "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Test Realm\"\r\n\r\n"},
    };
    for (const auto& [path, expected] : cases) {
        EXPECT_EQ(raw(std::string("POST ") + path + " HTTP/1.0\r\nContent-length: 6\r\n\r\nname=x"),
                  expected)
            << path;
    }
    EXPECT_EQ(raw("POST /messages/guests HTTP/1.0\r\nContent-length: 0\r\n\r\n"),
              status("500 Internal Server Error") +
                  "<h1>Sorry, an error occured while trying to send your message</h1>Please try "
                  "to post your message again in a few minutes.");
    // Another program holding the board keeps the post out.
    int held = ::open(home().file("boards/guests.htm").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    EXPECT_EQ(raw("POST /messages/guests HTTP/1.0\r\nContent-length: 6\r\n\r\nname=x"),
              status("500 Internal Server Error") +
                  "<h1>Sorry, unable to send your message now.</h1>Somebody else may be looking "
                  "at it.  Please try to post your message again in a few seconds.");
    ::close(held);
    EXPECT_EQ(TempDir::read(home().file("boards/guests.htm")), "<h1>Guests</h1>\r\n");
}

// A post appears at the end of the board, the poster gets the updated page,
// and what a visitor wrote shows as text.
TEST_F(CgiE2e, PostsAppearAtTheEndOfTheBoard) {
    const std::pair<std::string, std::string> cases[] = {
        {"name=Ann&subject=Hi&text=Hello+there", "'Ann'|<h3><i>Hi</i></h3>Hello there\r\n"},
        {"name=&text=%3Cscript%3Ealert(1)%3C/script%3E&link=javascript:alert(1)",
         "'somebody'|&lt;script&gt;alert(1)&lt;/script&gt; - javascript:alert(1)\r\n"},
        {"text=$remote_host%22&link=https://example.com/a%3Fb",
         "'somebody'|&#36;remote_host&quot; - <a href=\"https://example.com/a?b\">"
         "https://example.com/a?b</a>\r\n"},
        {"text=100%25+sure&link=%20javascript:x", "'somebody'|100 -  javascript:x\r\n"},
    };
    std::string board = "<h1>Guests</h1>\r\n";
    for (const auto& [body, entry] : cases) {
        std::string page = curl("--data '" + body + "'", "/messages/guests");
        size_t bar = entry.find('|');
        board += "<HR>Message from <B>" + entry.substr(0, bar) + " at [127.0.0.1]</B> ";
        const std::string on_disk = TempDir::read(home().file("boards/guests.htm"));
        ASSERT_GT(on_disk.size(), board.size() + 24) << body;
        board += on_disk.substr(board.size(), 24) + "!<BR>" + entry.substr(bar + 1);
        EXPECT_EQ(on_disk, board) << body;
        EXPECT_EQ(page, board) << body;
    }
    // Without a page under /messages/, the board of the same name elsewhere.
    EXPECT_EQ(curl("--data name=Bo", "/messages/guests/book").rfind("<h1>Book</h1>\r\n<HR>", 0),
              0u);
}

}  // namespace
}  // namespace qxs::test
