// The connection engine with raw sockets: large answers to clients that
// stop sending or reset, urgent data, and the operator's pause typed on the
// console.
#include <string>

#include <gtest/gtest.h>

#include "support/net_client.h"
#include "support/server_process.h"

namespace qxs::test {
namespace {

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
    EXPECT_TRUE(server.wait_for_log(") Connection Cancelled\r\n"));
    EXPECT_EQ(hello(), "hello, world\r\n");
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

}  // namespace
}  // namespace qxs::test
