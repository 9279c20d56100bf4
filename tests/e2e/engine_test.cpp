// The connection engine with raw sockets: large answers to clients that
// stop sending or reset, urgent data, and the operator's pause typed on the
// console.
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
    void start(const std::string& options = "pollevery=10\r\n") {
        server.write_settings(options);
        server.home().write("html/hello.txt", "hello, world\r\n");
        ASSERT_TRUE(server.start());
    }
    std::string hello() {
        return body_of(exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n"));
    }
    void TearDown() override {
        EXPECT_EQ(server.stop(), 0);
        EXPECT_EQ(server.standard_error(), "");
    }
    ServerProcess server;
};

// Many blocks through a real socket that fills up, to a client whose request
// ends in an urgent byte and whose half close arrives before the answer.
TEST_F(Engine, LargeFileArrivesWholeAfterTheClientStopsSending) {
    start("pollevery=5\r\nthrottle=0\r\nbuffsize=4096\r\n");
    std::string content = numbered_bytes(300000);
    server.home().write("html/big.bin", content);
    Client client(server.http_port());
    client.send("GET /big.bin HTTP/1.0\r\n\r");
    client.send_urgent("\n");
    client.shutdown_sending();
    std::string answer = client.read_all();
    EXPECT_NE(answer.find("Content-Length: 300000\r\n"), std::string::npos);
    EXPECT_TRUE(body_of(answer) == content);
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
    EXPECT_EQ(hello(), "hello, world\r\n");  // the server goes on serving
}

TEST_F(Engine, PauseTypedOnTheConsoleRefusesUntilResumed) {
    start();
    ASSERT_TRUE(server.command("pause"));
    ASSERT_TRUE(server.wait_for_log("\r\n*** SERVER PAUSED - Refusing connections\r\n"));
    // The request is taken before the close, so no reset cuts the refusal off.
    EXPECT_EQ(exchange(server.http_port(), "GET /hello.txt HTTP/1.0\r\n\r\n"),
              "HTTP/1.0 502 Service temporarily overloaded / Maintenance\r\n\r\n"
              "\r\n\r\nSorry, the server is temporarily paused for maintenance.  Please try "
              "again in a few minutes.\r\n");
    ASSERT_TRUE(server.command("resume"));
    ASSERT_TRUE(server.wait_for_log("\r\n*** SERVER RESTARTED\r\n"));
    EXPECT_EQ(hello(), "hello, world\r\n");
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
    EXPECT_EQ(extra.read_some(1, milliseconds(200)), "");  // waiting, not refused
    clients[5].reset();
    EXPECT_EQ(body_of(extra.read_all()), "hello, world\r\n");
    EXPECT_EQ(server.screen_log().find("Too many open connections"), std::string::npos);
}

}  // namespace
}  // namespace qxs::test
