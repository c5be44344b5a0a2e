// The scripted server that the other network tests stand on: matching
// requests to replies, and shutting down while a client still waits.
#include "http_client.h"
#include "scripted_http_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

TEST(ScriptedHttpServer, RoutesByPathAlsoInAbsoluteFormAndQueuesTheRest) {
    ScriptedHttpServer server;
    server.route("/fixed", {ScriptedHttpServer::ok("route")});
    server.enqueue({ScriptedHttpServer::ok("first")});
    server.enqueue({ScriptedHttpServer::ok("second")});
    HttpClient client;
    EXPECT_EQ(client.get(server.baseUrl() + "/other"), "first");
    EXPECT_EQ(client.get(server.baseUrl() + "/fixed?x=1"), "route");
    EXPECT_EQ(client.get(server.baseUrl() + "/fixed"), "route"); // a route serves every time
    client.setProxyHost("127.0.0.1");
    client.setProxyPort(server.port());
    EXPECT_EQ(client.get("http://127.0.0.2:9/fixed"), "route");
    EXPECT_EQ(client.get("http://127.0.0.2:9/x"), "second");
    // Nothing left: the connection is closed without a reply.
    EXPECT_THROW(client.get("http://127.0.0.2:9/x"), HttpError);
    EXPECT_EQ(server.requests().size(), 6u);
}

TEST(ScriptedHttpServer, WaitForRequestsIsBounded) {
    ScriptedHttpServer server;
    EXPECT_FALSE(server.waitForRequests(1, 100ms));
    server.enqueue({ScriptedHttpServer::ok("x")});
    HttpClient client;
    client.get(server.baseUrl() + "/x");
    EXPECT_TRUE(server.waitForRequests(1, 0ms));
}

TEST(ScriptedHttpServer, ReplyHelperIsACompleteClosingReply) {
    EXPECT_EQ(
        ScriptedHttpServer::reply(404, "Not Found", "no", {"X-A: 1"}),
        "HTTP/1.1 404 Not Found\r\nContent-Length: 2\r\nX-A: 1\r\nConnection: close\r\n\r\nno");
}

TEST(ScriptedHttpServer, StopsPromptlyWhileARequestWaitsForItsReply) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    auto start = std::chrono::steady_clock::now();
    {
        ScriptedHttpServer server;
        ScriptedReply slow{ScriptedHttpServer::ok("late")};
        slow.delayBefore = 30s;
        server.enqueue(slow);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(server.port());
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        const char req[] = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
        ASSERT_EQ(::send(fd, req, sizeof req - 1, 0), static_cast<ssize_t>(sizeof req - 1));
        ASSERT_TRUE(server.waitForRequests(1, 2s));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    char buf[16];
    EXPECT_EQ(::recv(fd, buf, sizeof buf, 0), 0) << "the connection is closed, not answered";
    ::close(fd);
}

} // namespace
