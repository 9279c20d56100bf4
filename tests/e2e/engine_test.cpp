// The connection engine with raw sockets: how requests may arrive, how
// answers leave, and the clients the server refuses.
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

using std::chrono::milliseconds;

std::string numbered_bytes(size_t size) {
    std::string content(size, '\0');
    for (size_t i = 0; i < size; ++i) content[i] = static_cast<char>('A' + (i * 7 + i / 977) % 26);
    return content;
}

std::string body_of(const std::string& answer) {
    size_t end = answer.find("\r\n\r\n");
    return end == std::string::npos ? "" : answer.substr(end + 4);
}

class Engine : public ::testing::Test {
protected:
    void start(const std::string& options = "pollevery=10\r\n", const std::string& extra = "") {
        server.write_settings(options, extra);
        server.home().write("html/hello.txt", "hello, world\r\n");
        ASSERT_TRUE(server.start());
    }
    void TearDown() override {
        EXPECT_EQ(server.stop(), 0);
        EXPECT_EQ(server.standard_error(), "");
    }
    ServerProcess server;
};

TEST_F(Engine, RequestSplitAnywhereReadsAsOneLine) {
    start();
    std::string whole = exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n");
    ASSERT_NE(whole.find("hello, world"), std::string::npos) << whole;
    // Pieces arriving in separate reads, split between CR and LF too.
    std::vector<std::vector<std::string>> splits = {
        {"GE", "T /hello.t", "xt HTTP/1.0\r\n\r\n"},
        {"GET /hello.txt HTTP/1.0\r", "\n\r", "\n"},
        {"GET /hello.txt HTTP/1.0\n", "\n"},    // bare LF
        {"GET /he\rllo.txt HTTP/1.0\r\n\r\n"},  // a CR inside the line is dropped
    };
    for (const auto& pieces : splits) {
        Client client(server.http_port());
        for (const std::string& piece : pieces) {
            client.send(piece);
            std::this_thread::sleep_for(milliseconds(60));
        }
        std::string answer = client.read_all();
        EXPECT_EQ(body_of(answer), "hello, world\r\n") << pieces[0];
    }
}

TEST_F(Engine, BodyArrivingInPiecesIsStoredWholeNulBytesIncluded) {
    start();
    Client client(server.http_port());
    std::string body("name=a\0b&x=", 11);
    body += std::string(5000, 'z');
    client.send("POST /form HTTP/1.0\r\nContent-length: " + std::to_string(body.size()) +
                "\r\n\r\n" + body.substr(0, 4));
    std::this_thread::sleep_for(milliseconds(60));
    client.send(body.substr(4, 3000));
    std::this_thread::sleep_for(milliseconds(60));
    client.send(body.substr(3004));
    std::string answer = client.read_all();
    EXPECT_EQ(answer.rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u) << answer;
    EXPECT_EQ(TempDir::read(server.home().file("temp/CGI-co0.qxs")), body);
}

TEST_F(Engine, ThrottledMultiBlockTransferArrivesWhole) {
    start("pollevery=5\r\nthrottle=0\r\nbuffsize=4096\r\n");
    std::string content = numbered_bytes(300000);
    server.home().write("html/big.bin", content);
    std::string answer = exchange(server.http_port(), "GET /big.bin HTTP/1.0\r\n\r\n");
    EXPECT_NE(answer.find("Content-Length: 300000\r\n"), std::string::npos);
    EXPECT_TRUE(body_of(answer) == content);
}

TEST_F(Engine, ClientThatStopsSendingStillGetsTheWholeAnswer) {
    start("pollevery=5\r\nthrottle=0\r\n");
    std::string content = numbered_bytes(200000);
    server.home().write("html/big.bin", content);
    Client client(server.http_port());
    client.send("GET /big.bin HTTP/1.0\r\n\r\n");
    client.shutdown_sending();
    EXPECT_TRUE(body_of(client.read_all()) == content);
}

TEST_F(Engine, ResetDuringTransferEndsOnlyThatConnection) {
    start("pollevery=5\r\nthrottle=0\r\ndebug1=1\r\n");
    server.home().write("html/big.bin", numbered_bytes(2000000));
    {
        Client client(server.http_port());
        client.set_receive_buffer(4096);
        client.send("GET /big.bin HTTP/1.0\r\n\r\n");
        EXPECT_GT(client.read_some(20000).size(), 0u);
        client.reset();
    }
    // The reset ends the transfer at once, and the log tells it did not
    // end well.
    std::string log;
    for (int i = 0; i < 500 && log.find("GET /big.bin HTTP/1.0\" - ") == std::string::npos; ++i) {
        std::this_thread::sleep_for(milliseconds(10));
        log = TempDir::read(server.home().file("logs/qxs.log"));
    }
    EXPECT_NE(log.find("GET /big.bin HTTP/1.0\" - "), std::string::npos) << log;
    // The server goes on serving.
    EXPECT_EQ(body_of(exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n")),
              "hello, world\r\n");
}

TEST_F(Engine, UrgentDataIsReadWithTheRest) {
    start();
    Client client(server.http_port());
    client.send("GET /hello.txt HTTP/1.0\r\n\r");
    client.send_urgent("\n");
    EXPECT_EQ(body_of(client.read_all()), "hello, world\r\n");
}

TEST_F(Engine, BareCommandsAnswerOnBothPorts) {
    start();
    std::string status = exchange(server.gopher_port(), "status\r\n");
    EXPECT_EQ(status.rfind("QXServer Personal-3.07b-32bit Stats  - running on localhost\r\n", 0),
              0u)
        << status;
    EXPECT_NE(status.find("          Connections: 1\r\n"), std::string::npos) << status;
    std::string about = exchange(server.http_port(), "About\r\n");
    EXPECT_EQ(about.rfind("\r\nThis server is running QXServer/Personal-3.07b-32bit\r\n", 0), 0u);
    EXPECT_EQ(about.substr(about.size() - 3), "\n.\n");
    EXPECT_EQ(exchange(server.http_port(), "QUIT\r\n"), "");
    EXPECT_TRUE(server.wait_for_log(
        "** QUIT message attempted!\r\n** Someone may be running SATAN on you.\r\n"));
}

TEST_F(Engine, RejectedAddressGetsTheRefusalAndNoSlot) {
    server.home().write(
        "reject.ini",
        "[RejectIPs]\r\n127.0.0.0=1\r\n127.0.0.1=0\r\n"
        "[rejectmessages]\r\nmessage1=HTTP/1.0 403 Go away\\r\\n\\r\\nNot you\\q\r\n");
    start("pollevery=10\r\nreject_ip_filename=c:\\reject.ini\r\n");
    EXPECT_EQ(exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 403 Go away\r\n\r\nNot youq");
    EXPECT_TRUE(server.wait_for_log("Rejecting connection from [127.0.0.1]!\r\n"));
}

TEST_F(Engine, RejectedAddressWithoutMessageGetsTheOverloadText) {
    server.home().write("reject.ini", "[RejectIPs]\r\n127.0.0.1=1\r\n");
    start("pollevery=10\r\nreject_ip_filename=c:\\reject.ini\r\n");
    EXPECT_EQ(exchange(server.gopher_port(), "\r\n"),
              "HTTP/1.0 502 Service temporarily overloaded / Maintenance\r\n\r\n"
              "\r\n\r\nSorry, this server is refusing connections from your site.\r\n");
}

TEST_F(Engine, PausedServerRefusesUntilResumed) {
    start();
    ASSERT_TRUE(server.command("pause"));
    ASSERT_TRUE(server.wait_for_log("\r\n*** SERVER PAUSED - Refusing connections\r\n"));
    EXPECT_EQ(exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 502 Service temporarily overloaded / Maintenance\r\n\r\n"
              "\r\n\r\nSorry, the server is temporarily paused for maintenance.  Please try "
              "again in a few minutes.\r\n");
    EXPECT_TRUE(server.wait_for_log("Refusing connection from [127.0.0.1]!\r\n"));
    ASSERT_TRUE(server.command("resume"));
    ASSERT_TRUE(server.wait_for_log("\r\n*** SERVER RESTARTED\r\n"));
    EXPECT_EQ(body_of(exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n")),
              "hello, world\r\n");
}

// A 33rd client waits in the listen queue and is answered once a slot frees.
TEST_F(Engine, ThirtyThirdClientWaitsForAFreeSlot) {
    start();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 32; ++i) {
        clients.push_back(std::make_unique<Client>(server.http_port()));
        ASSERT_TRUE(clients.back()->connected());
    }
    Client extra(server.http_port());
    ASSERT_TRUE(extra.send("GET /hello.txt HTTP/1.0\r\n\r\n"));
    EXPECT_FALSE(extra.closed_by_server(milliseconds(200)));
    clients[5].reset();
    EXPECT_EQ(body_of(extra.read_all()), "hello, world\r\n");
    EXPECT_EQ(server.screen_log().find("Too many open connections"), std::string::npos);
}

}  // namespace
}  // namespace qxs::test
