// Directory listings and gopher menus with the real binary, browsed the way
// people do: with lynx, following the links the server wrote.
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

const auto npos = std::string::npos;

std::string lynx(const std::string& url, const std::string& options = "") {
    CommandResult result = run_command("TERM=dumb lynx -dump " + options + " '" + url + "'");
    EXPECT_EQ(result.status, 0) << url;
    return result.output;
}

// The reference of a lynx dump that ends in `suffix`, with the server's
// own name (its links name "localhost") replaced by the loopback address;
// "" when there is none.
std::string reference(const std::string& dump, const std::string& suffix) {
    std::istringstream lines(dump);
    std::string line;
    while (std::getline(lines, line)) {
        size_t start = line.find(". ");
        if (start == npos || !line.ends_with(suffix)) continue;
        std::string url = line.substr(start + 2);
        size_t host = url.find("//localhost:");
        if (host != npos) url.replace(host, 12, "//127.0.0.1:");
        return url;
    }
    return "";
}

TEST(ListingE2e, LynxBrowsesBothTreesFromTheRootToAFile) {
    if (!have_program("lynx")) GTEST_SKIP() << "lynx is not installed";
    ServerProcess server;
    server.write_settings("webdirbrowsing=1\r\n");
    server.home().write("gopher/docs/readme.txt", "Hello gopher\r\n");
    server.home().write("gopher/docs/sub/inner.txt", "Inner\r\n");
    server.home().write("html/docs/sub/inner.txt", "Inner web\r\n");
    ASSERT_TRUE(server.start());
    const std::string gopher = "gopher://127.0.0.1:" + std::to_string(server.gopher_port());
    const std::string http = "http://127.0.0.1:" + std::to_string(server.http_port());

    std::string root = lynx(gopher + "/");
    EXPECT_NE(root.find("About this gopher server"), npos) << root;
    ASSERT_EQ(reference(root, "/11/docs"), gopher + "/11/docs") << root;
    std::string menu = lynx(gopher + "/11/docs");
    EXPECT_NE(menu.find("File:   readme.txt is       14 bytes"), npos) << menu;
    EXPECT_NE(reference(menu, "/11/docs/sub"), "") << menu;
    ASSERT_EQ(reference(menu, "/00/docs/readme.txt"), gopher + "/00/docs/readme.txt") << menu;
    EXPECT_NE(lynx(gopher + "/00/docs/readme.txt").find("Hello gopher"), npos);

    // A browser resolves "http:/docs/x" against the page it came from.
    std::string links = lynx(http + "/docs/", "-listonly");
    ASSERT_EQ(reference(links, "/docs/sub/"), http + "/docs/sub/") << links;
    std::string sub = lynx(http + "/docs/sub/", "-listonly");
    ASSERT_EQ(reference(sub, "/docs/sub/inner.txt"), http + "/docs/sub/inner.txt") << sub;
    EXPECT_NE(lynx(http + "/docs/sub/inner.txt").find("Inner web"), npos);
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(server.standard_error(), "");
}

}  // namespace
}  // namespace qxs::test
