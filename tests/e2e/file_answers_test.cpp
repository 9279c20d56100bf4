// Redirects and the protected aliases as curl meets them: the Location it
// follows, and the credentials it sends.
#include <string>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FileAnswersE2e : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_program("curl")) GTEST_SKIP() << "curl is not installed";
        server.write_settings("security_realm=Inner Circle\r\nwebdirbrowsing=1\r\n",
                              "[Aliases]\r\nAlias1=/private c:\\private\\ john\r\n"
                              "[Users]\r\nUser1=john secret\r\n");
        server.home().write("html/docs/page.txt", "a page\n");
        server.home().write("private/plan.txt", "the secret plan\n");
        ASSERT_TRUE(server.start());
    }
    void TearDown() override {
        if (server.running()) {
            EXPECT_EQ(server.stop(), 0);
        }
    }
    // curl's standard output for these options and path.
    std::string curl(const std::string& options, const std::string& path) {
        return run_command("curl -s --max-time 20 " + options +
                           " 'http://127.0.0.1:" + std::to_string(server.http_port()) + path + "'")
            .output;
    }
    ServerProcess server;
};

TEST_F(FileAnswersE2e, CurlFollowsTheRedirectToTheListing) {
    std::string got = curl("-L -i", "/docs");
    EXPECT_EQ(got.rfind("HTTP/1.0 302 Found\r\n", 0), 0u) << got;
    EXPECT_TRUE(contains(
        got, "\r\nLocation: http://localhost:" + std::to_string(server.http_port()) + "/docs/\r\n"))
        << got;
    EXPECT_TRUE(contains(got, "\r\n\r\nHTTP/1.0 200 OK\r\n")) << got;
    EXPECT_TRUE(contains(got, "page.txt</A>")) << got;
}

TEST_F(FileAnswersE2e, OwnedAliasNeedsTheOwnersCredentials) {
    EXPECT_EQ(
        curl("-i", "/private/plan.txt"),
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Inner Circle\"\r\n\r\n");
    EXPECT_TRUE(contains(curl("-i -u john:wrong", "/private/plan.txt"), "401 Unauthorized"));
    std::string admitted = curl("-i -u john:secret", "/private/plan.txt");
    EXPECT_EQ(admitted.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << admitted;
    EXPECT_TRUE(contains(admitted, "\r\n\r\nthe secret plan\n")) << admitted;
}

}  // namespace
}  // namespace qxs::test
