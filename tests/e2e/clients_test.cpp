// The clients people run today against the real binary: curl, lynx,
// headless Chromium and the stock gopher client each get every answer in a
// form they can read.
#include <unistd.h>

#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

const auto npos = std::string::npos;

class ClientsE2e : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_program("curl") || !have_program("lynx")) GTEST_SKIP() << "needs curl and lynx";
        server.write_settings("webdirbrowsing=1\r\n",
                              "[Extensions]\r\nmap1=bin 9 application/octet-stream\r\n");
        TempDir& home = server.home();
        home.write("html/maps/nav.map", "rect /target.htm 0,0 50,50\n");
        home.write("html/site/index.html", "<title>Site</title>the site's own page\n");
        home.write("html/vars.htm", "[$user_agent$user_agent$user_agent]\n");
        for (const char* name : kOddNames) home.write(std::string("html/files/") + name, name);
        home.write("gopher/welcome.txt", "Welcome, gopher\r\n");
        binary.resize(5000);
        for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<char>(i * 7 % 251);
        binary.replace(100, 5, "\r\n.\r\n");  // a terminator inside is just data
        home.write("gopher/docs/image.bin", binary);
        ASSERT_TRUE(server.start());
        http = "http://127.0.0.1:" + std::to_string(server.http_port());
        gopher = "gopher://127.0.0.1:" + std::to_string(server.gopher_port());
    }
    void TearDown() override {
        if (!server.running()) return;
        EXPECT_EQ(server.stop(), 0);
        EXPECT_EQ(server.standard_error(), "");
    }
    // curl's exit status must be 0: it refuses an answer it cannot read.
    std::string curl(const std::string& options, const std::string& url) {
        CommandResult result = run_command("curl -s " + options + " '" + url + "'");
        EXPECT_EQ(result.status, 0) << options << " " << url;
        return result.output;
    }

    static constexpr const char* kOddNames[] = {"a#b.txt", "my notes.htm", "caf\xc3\xa9.htm",
                                                "x&y+z.txt"};
    ServerProcess server;
    std::string http;
    std::string gopher;
    std::string binary;
};

// Texts that once went out bare carry a status line for a full request.
TEST_F(ClientsE2e, ErrorTextsCarryAStatusLine) {
    const struct {
        std::string options, path, status, text;
    } cases[] = {
        {"", "/maps/nav.map?99,60", "404", "Nothing was found at location [99,60]."},
        {"", "/maps/none.map?1,2", "404", "Error opening map file"},
        {"--request-target noslash", "", "400", "Error 400 Bad Request"},
    };
    for (const auto& k : cases) {
        std::string answer = curl("-w '\n%{http_code}' " + k.options, http + k.path);
        EXPECT_NE(answer.find(k.text), npos) << answer;
        EXPECT_EQ(answer.substr(answer.size() - 3), k.status) << answer;
    }
    if (!have_program("chromium")) return;
    std::string dom = chromium_dom(http + "/maps/nav.map?99,60", server.home().file("profile"));
    EXPECT_NE(dom.find("Nothing was found at location [99,60]."), npos) << dom;
}

// A folder's index.html is its page; listing links reach odd names; a page
// whose variables make it longer than its file arrives whole.
TEST_F(ClientsE2e, PagesAndListingLinksArriveWhole) {
    EXPECT_NE(curl("", http + "/site/").find("the site's own page"), npos);
    EXPECT_NE(curl("-L", http + "/site/index.html").find("the site's own page"), npos);

    // Each link, taken as a browser takes it ("http:/files/x" on this
    // server), reaches its file.
    const std::string listing = curl("", http + "/files/");
    int reached = 0;
    for (size_t at = listing.find("HREF = \"http:"); at != npos;
         at = listing.find("HREF = \"http:", at + 1)) {
        size_t begin = at + 13;
        std::string path = listing.substr(begin, listing.find('"', begin) - begin);
        std::string file = curl("", http + path);
        for (const char* name : kOddNames) reached += file == name ? 1 : 0;
    }
    EXPECT_EQ(reached, 4) << listing;

    std::string agent(200, 'u');  // the variable keeps the header's blank
    EXPECT_EQ(curl("-A " + agent, http + "/vars.htm"),
              "[ " + agent + " " + agent + " " + agent + "]\n");
}

// Binary items arrive byte for byte, selectors derived from URLs name paths,
// and a selector the server does not understand is a gopher error item.
TEST_F(ClientsE2e, GopherClientsGetItemsTheyCanRead) {
    EXPECT_EQ(curl("", gopher + "/9/docs/image.bin"), binary);
    EXPECT_NE(curl("", gopher + "/1/").find("1Dir : docs\t1/docs\t"), npos);
    EXPECT_EQ(curl("", gopher + "/0/welcome.txt"), "Welcome, gopher\r\n\r\n.\r\n");
    EXPECT_NE(run_command("TERM=dumb lynx -dump '" + gopher + "/0/welcome.txt'")
                  .output.find("Welcome, gopher"),
              npos);
    std::string error = curl("", gopher + "/0zz");
    EXPECT_EQ(error.rfind("3You said [zz], and either", 0), 0u) << error;
    EXPECT_EQ(error.substr(error.size() - 3), ".\r\n");
}

// The stock client asks the root with the gopher+ request "\t$".
TEST_F(ClientsE2e, TheStockGopherClientShowsTheRootMenu) {
    std::string reply = exchange(server.gopher_port(), "\t$\r\n");
    EXPECT_EQ(reply.rfind("+-1\r\n+INFO: 0About this gopher server\tAbout\t", 0), 0u) << reply;
    EXPECT_NE(reply.find("\r\n+INFO: 1Dir : docs\t1/docs\t"), npos) << reply;
    EXPECT_EQ(reply.substr(reply.size() - 5), "\r\n.\r\n") << reply;

    if (!have_program("gopher") || !have_program("tmux")) return;
    const std::string session = "qxs-gopher-" + std::to_string(::getpid());
    // A home of its own: the client greets a new user once, then remembers.
    const std::string client_home = server.home().file("client-home");
    run_command("mkdir -p '" + client_home + "'");
    run_command("tmux new-session -d -s " + session + " -x 100 -y 30 'HOME=" + client_home +
                " gopher 127.0.0.1 " + std::to_string(server.gopher_port()) + "'");
    std::string screen;
    for (int i = 0; i < 50 && screen.find("Press RETURN") == npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        screen = run_command("tmux capture-pane -p -t " + session).output;
    }
    run_command("tmux send-keys -t " + session + " Enter");  // past the welcome screen
    for (int i = 0; i < 50 && screen.find("Dir : docs") == npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        screen = run_command("tmux capture-pane -p -t " + session).output;
    }
    run_command("tmux kill-session -t " + session);
    EXPECT_NE(screen.find("Dir : docs"), npos) << screen;
    EXPECT_EQ(screen.find("Nothing available"), npos) << screen;
}

}  // namespace
}  // namespace qxs::test
