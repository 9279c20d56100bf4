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

TEST(FileAnswersE2e, CurlFollowsRedirectsAndSendsTheOwnersCredentials) {
    if (!have_program("curl")) GTEST_SKIP() << "curl is not installed";
    ServerProcess server;
    server.write_settings("security_realm=Inner Circle\r\nwebdirbrowsing=1\r\n",
                          "[Aliases]\r\nAlias1=/private c:\\private\\ john\r\n"
                          "[Users]\r\nUser1=john secret\r\n");
    server.home().write("html/docs/page.txt", "a page\n");
    server.home().write("private/plan.txt", "the secret plan\n");
    ASSERT_TRUE(server.start());
    const std::string port = std::to_string(server.http_port());
    auto curl = [&](const std::string& options, const std::string& path) {
        return run_command("curl -s -i --max-time 20 " + options + " 'http://127.0.0.1:" + port +
                           path + "'")
            .output;
    };

    std::string got = curl("-L", "/docs");
    EXPECT_EQ(got.rfind("HTTP/1.0 302 Found\r\n", 0), 0u) << got;
    EXPECT_TRUE(contains(got, "\r\nLocation: http://localhost:" + port + "/docs/\r\n")) << got;
    EXPECT_TRUE(contains(got, "\r\n\r\nHTTP/1.0 200 OK\r\n")) << got;
    EXPECT_TRUE(contains(got, "page.txt</A>")) << got;

    EXPECT_EQ(
        curl("", "/private/plan.txt"),
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Inner Circle\"\r\n\r\n");
    EXPECT_TRUE(contains(curl("-u john:wrong", "/private/plan.txt"), "401 Unauthorized"));
    std::string admitted = curl("-u john:secret", "/private/plan.txt");
    EXPECT_EQ(admitted.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << admitted;
    EXPECT_TRUE(contains(admitted, "\r\n\r\nthe secret plan\n")) << admitted;
    EXPECT_EQ(server.stop(), 0);
}

}  // namespace
}  // namespace qxs::test
