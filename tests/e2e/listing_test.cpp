// Directory listings and gopher menus with the real binary, browsed the way
// people do: with lynx and curl, following the links the server wrote.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

const auto npos = std::string::npos;

std::string fetch(const std::string& command, const std::string& url) {
    CommandResult result = run_command(command + " '" + url + "'");
    EXPECT_EQ(result.status, 0) << command << " " << url;
    return result.output;
}
std::string lynx(const std::string& url) {
    return fetch("TERM=dumb lynx -dump", url);
}
std::string curl(const std::string& url) {
    return fetch("curl -s", url);
}

// The reference of a lynx dump that ends in `suffix`, with the server's
// own name (its links name "localhost") replaced by the loopback address;
// "" when there is none.
std::string reference(const std::string& dump, const std::string& suffix) {
    std::istringstream lines(dump);
    std::string line;
    while (std::getline(lines, line)) {
        size_t start = line.find(". ");
        if (start == npos || line.size() < suffix.size() ||
            line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        std::string url = line.substr(start + 2);
        size_t host = url.find("//localhost:");
        if (host != npos) url.replace(host, 12, "//127.0.0.1:");
        return url;
    }
    return "";
}

class ListingE2e : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_program("lynx") || !have_program("curl")) GTEST_SKIP() << "needs lynx and curl";
    }

    bool start(const std::string& options = "") {
        server.write_settings(options);
        server.home().write("gopher/docs/readme.txt", "Hello gopher\r\n");
        server.home().write("gopher/docs/sub/inner.txt", "Inner\r\n");
        server.home().write("html/docs/readme.txt", "Hello web\r\n");
        server.home().write("html/docs/sub/inner.txt", "Inner web\r\n");
        gopher = "gopher://127.0.0.1:" + std::to_string(server.gopher_port());
        http = "http://127.0.0.1:" + std::to_string(server.http_port());
        return server.start();
    }
    void TearDown() override {
        if (!server.running()) return;
        EXPECT_EQ(server.stop(), 0);
        EXPECT_EQ(server.standard_error(), "");
    }

    ServerProcess server;
    std::string gopher;
    std::string http;
};

TEST_F(ListingE2e, LynxBrowsesTheGopherTreeFromTheRootToAFile) {
    ASSERT_TRUE(start());
    std::string root = lynx(gopher + "/");
    EXPECT_NE(root.find("Dir : docs"), npos) << root;
    std::string menu_url = reference(root, "/11/docs");
    ASSERT_EQ(menu_url, gopher + "/11/docs") << root;

    std::string menu = lynx(menu_url);
    EXPECT_NE(menu.find("File:   readme.txt is       14 bytes"), npos) << menu;
    EXPECT_NE(menu.find("Dir : sub"), npos) << menu;
    std::string file_url = reference(menu, "/00/docs/readme.txt");
    ASSERT_EQ(file_url, gopher + "/00/docs/readme.txt") << menu;
    EXPECT_NE(reference(menu, "/11/docs/sub"), "") << menu;

    EXPECT_NE(lynx(file_url).find("Hello gopher"), npos);
}

TEST_F(ListingE2e, CurlReadsGopherMenusLineForLine) {
    ASSERT_TRUE(start());
    const std::string tail = "\tlocalhost\t" + std::to_string(server.gopher_port()) + "\r\n";
    std::string root = curl(gopher + "/");
    EXPECT_EQ(root.rfind("0About this gopher server\tAbout" + tail, 0), 0u) << root;
    EXPECT_NE(root.find("\r\n1Dir : docs\t1/docs" + tail), npos) << root;

    std::string menu = curl(gopher + "/11/docs");
    EXPECT_NE(menu.find("0File:   readme.txt is       14 bytes "), npos) << menu;
    EXPECT_NE(menu.find("\t0/docs/readme.txt" + tail), npos) << menu;
    EXPECT_NE(menu.find("1Dir : sub\t1/docs/sub" + tail), npos) << menu;
    // One terminator line ends a menu.
    EXPECT_EQ(menu.substr(menu.size() - 5), "\r\n.\r\n") << menu;
    EXPECT_EQ(menu.find(".\r\n\r\n.\r\n"), npos) << menu;

    EXPECT_NE(curl(gopher + "/11/docs/sub").find("\t0/docs/sub/inner.txt" + tail), npos);
    EXPECT_EQ(curl(gopher + "/00/docs/readme.txt").rfind("Hello gopher\r\n", 0), 0u);
}

TEST_F(ListingE2e, HtmlListingLinksResolveWhenFollowed) {
    ASSERT_TRUE(start("webdirbrowsing=1\r\n"));
    std::string page = fetch("curl -s -i", http + "/docs/");
    EXPECT_EQ(page.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << page;
    EXPECT_EQ(page.find("Content-Length"), npos) << page;
    EXPECT_NE(page.find("<A HREF = \"http:/docs/readme.txt\">"), npos) << page;
    EXPECT_NE(page.find("<A HREF = \"http:/docs/sub/\">Dir : sub/</A>"), npos) << page;

    // A browser resolves "http:/docs/x" against the page it came from.
    std::string links = fetch("TERM=dumb lynx -dump -listonly", http + "/docs/");
    std::string file_url = reference(links, "/docs/readme.txt");
    std::string dir_url = reference(links, "/docs/sub/");
    ASSERT_EQ(file_url, http + "/docs/readme.txt") << links;
    ASSERT_EQ(dir_url, http + "/docs/sub/") << links;

    EXPECT_EQ(curl(file_url), "Hello web\r\n");
    std::string sub = curl(dir_url);
    EXPECT_NE(sub.find("<H2>For \"/docs/sub/\"</H2>"), npos) << sub;
    EXPECT_NE(sub.find("<A HREF = \"http:/docs/sub/inner.txt\">"), npos) << sub;
    EXPECT_EQ(curl(http + "/docs/sub/inner.txt"), "Inner web\r\n");
}

}  // namespace
}  // namespace qxs::test
