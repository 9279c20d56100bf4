// The bundled demo home, served to a real browser: its index page shows the
// page variables filled in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

TEST(Demo, ChromiumShowsTheFilledPageVariables) {
    if (!have_program("chromium")) GTEST_SKIP() << "chromium is not installed";
    // A copy of the demo's web tree in the test home.
    ServerProcess server;
    server.write_settings("view_files=1\r\n",
                          "[Registration]\r\nname=Demo Operator\r\norganization=QXServer demo "
                          "home\r\nemail=operator@localhost\r\n");
    std::filesystem::copy(std::string(QXS_SOURCE_DIR) + "/demo/html", server.home().file("html"),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing);
    ASSERT_TRUE(server.start());
    const std::string page =
        chromium_dom("http://127.0.0.1:" + std::to_string(server.http_port()) + "/",
                     server.home().file("chromium-profile"));
    ASSERT_NE(page, "");
    EXPECT_NE(page.find("You are <b>127.0.0.1</b> (127.0.0.1)"), std::string::npos) << page;
    EXPECT_NE(page.find("<code>GET / HTTP/1.1</code>"), std::string::npos) << page;
    EXPECT_NE(page.find("Your browser calls itself <i> Mozilla/"), std::string::npos) << page;
    EXPECT_NE(page.find("nowhere in particular: there was no referer"), std::string::npos) << page;
    EXPECT_NE(page.find("the price is $5."), std::string::npos) << page;
    EXPECT_NE(page.find("Demo Operator of QXServer demo home"), std::string::npos) << page;
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.standard_error(), "");
}

}  // namespace
}  // namespace qxs::test
