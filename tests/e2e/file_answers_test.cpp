// Files, redirects, errors and the protected aliases, with the real binary
// and real clients.
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

using std::chrono::milliseconds;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FileAnswersE2e : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_program("curl")) GTEST_SKIP() << "curl is not installed";
        server.write_settings("security_realm=Inner Circle\r\n",
                              "[Extensions]\r\nmap1=txt 0 text/plain\r\nmap2=htm 0 text/html\r\n"
                              "[Aliases]\r\nAlias1=/private c:\\private\\ john\r\n"
                              "[Users]\r\nUser1=john secret\r\n");
        server.home().write("html/hello.txt", "hello, world\n");
        server.home().write("html/docs/page.txt", "a page\n");
        server.home().write("private/plan.txt", "the secret plan\n");
        ASSERT_TRUE(server.start());
    }
    void TearDown() override {
        if (server.running()) {
            EXPECT_EQ(server.stop(), 0);
        }
    }

    std::string base() const { return "http://127.0.0.1:" + std::to_string(server.http_port()); }
    std::string host_port() const { return "localhost:" + std::to_string(server.http_port()); }
    // curl's standard output for these options and path.
    std::string curl(const std::string& options, const std::string& path) {
        return run_command("curl -s --max-time 20 " + options + " '" + base() + path + "'").output;
    }

    ServerProcess server;
};

TEST_F(FileAnswersE2e, FilesCarryTheirHeadersAndHeadSendsOnlyThem) {
    std::string got = curl("-i", "/hello.txt");
    EXPECT_EQ(got.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << got;
    EXPECT_TRUE(contains(got, "\r\nContent-Type: text/plain\r\n")) << got;
    EXPECT_TRUE(contains(got, "\r\nContent-Length: 13\r\n")) << got;
    EXPECT_TRUE(contains(got, "\r\nLast-Modified: ")) << got;
    EXPECT_EQ(got.substr(got.size() - 13), "hello, world\n");

    std::string head = curl("-I", "/hello.txt");
    EXPECT_TRUE(contains(head, "\r\nContent-Length: 13\r\n")) << head;
    EXPECT_FALSE(contains(head, "hello, world")) << head;
}

TEST_F(FileAnswersE2e, DirectoriesAndIndexPagesRedirect) {
    struct Case {
        const char* path;
        std::string location;
    };
    const Case cases[] = {
        {"/docs", "http://" + host_port() + "/docs/"},
        {"/docs/index.html", "http://" + host_port() + "/docs/"},
        {"/index.htm", "http://" + host_port() + "/"},
    };
    for (const Case& k : cases) {
        std::string got = curl("-i", k.path);
        EXPECT_EQ(got.rfind("HTTP/1.0 302 Found\r\n", 0), 0u) << k.path << "\n" << got;
        EXPECT_TRUE(contains(got, "\r\nLocation: " + k.location + "\r\n")) << got;
    }
    // A client that follows the redirect lands on the listing, not on a 404.
    std::string followed = curl("-L -i", "/docs");
    EXPECT_FALSE(contains(followed, " 404 NOT FOUND")) << followed;
}

TEST_F(FileAnswersE2e, MissingFilesAnswer404AndAreLogged) {
    std::string got = exchange(server.http_port(),
                               "GET /missing.htm HTTP/1.0\r\nReferer: http://ref/from.htm\r\n\r\n");
    EXPECT_EQ(got,
              "HTTP/1.0 404 NOT FOUND\r\n\r\n<H1>404 FILE NOT FOUND</H1>\r\n"
              "<P>The file requested (/missing.htm) was not found.</P>"
              "<p>Please inform the owner of the page below to update the link.<br>Return to "
              "<a href= http://ref/from.htm> http://ref/from.htm</a>");
    const std::string line = "Not found (/missing.htm)  Referer ( http://ref/from.htm)\r\n";
    EXPECT_TRUE(server.wait_for_log(line));
    EXPECT_TRUE(contains(TempDir::read(server.home().file("logs/error.log")), line));
}

TEST_F(FileAnswersE2e, OwnedAliasNeedsTheOwnersCredentials) {
    std::string refused = curl("-i", "/private/plan.txt");
    EXPECT_EQ(
        refused,
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Inner Circle\"\r\n\r\n");
    EXPECT_TRUE(contains(curl("-i -u john:wrong", "/private/plan.txt"), "401 Unauthorized"));

    std::string admitted = curl("-i -u john:secret", "/private/plan.txt");
    EXPECT_EQ(admitted.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << admitted;
    EXPECT_TRUE(contains(admitted, "\r\n\r\nthe secret plan\n")) << admitted;
}

TEST_F(FileAnswersE2e, DebugPageHoldsOnlyItsOwnConnection) {
    Client debug(server.http_port());
    ASSERT_TRUE(debug.connected());
    ASSERT_TRUE(debug.send("GET /~debug HTTP/1.0\r\n\r\n"));
    std::string page;
    for (int i = 0; i < 100 && !contains(page, "</pre>"); ++i) {
        page += debug.read_some(1 << 20, milliseconds(100));
    }
    EXPECT_EQ(page.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << page;
    EXPECT_TRUE(contains(page, "<h2>Debug</h2><pre>")) << page;

    // While the debug connection is held, the server answers everyone else.
    std::string other = exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(contains(other, "hello, world\n")) << other;
    EXPECT_FALSE(debug.closed_by_server(milliseconds(100)));
}

}  // namespace
}  // namespace qxs::test
