#include "platform/net/testing/LocalHttpServer.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <string>

namespace platform::testing {
namespace {

// A plain socket to 127.0.0.1:port, or -1 with errno set.
int connectTo(int port) {
  const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) return descriptor;
  const int error = errno;
  ::close(descriptor);
  errno = error;
  return -1;
}

TEST(LocalHttpServerTest, StoppingEndsAConnectionTheClientKeepsAliveAndGivesThePortBack) {
  auto server = std::make_unique<LocalHttpServer>();
  // Were the idle connection waited for, the server's end would stay for an hour.
  server->server().set_keep_alive_timeout(3600);
  server->script("GET", "/x", {ScriptedReply(200, {}, "body")});
  server->start();
  const int port = server->port();
  const int client = connectTo(port);
  ASSERT_GE(client, 0);
  const std::string request = "GET /x HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(::send(client, request.data(), request.size(), 0), static_cast<ssize_t>(request.size()));
  std::string answer;
  char buffer[512];
  while (answer.find("\r\n\r\nbody") == std::string::npos) {
    const ssize_t got = ::recv(client, buffer, sizeof(buffer), 0);
    ASSERT_GT(got, 0) << answer;
    answer.append(buffer, static_cast<std::size_t>(got));
  }

  server.reset();
  EXPECT_EQ(::recv(client, buffer, sizeof(buffer), 0), 0);  // the server closed its end
  ::close(client);
  EXPECT_EQ(connectTo(port), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
}

TEST(LocalHttpServerTest, TakesLargeCompressedFormPostsAndSendsGeneratedBodies) {
  LocalHttpServer server;
  std::atomic<std::size_t> handed{0};  // set on the server's thread
  server.route("POST", "/form",
               [&](const httplib::Request&, const std::string& body, httplib::Response& response) {
                 handed = body.size();
                 response.status = 204;
               });
  server.script("POST", "/scripted", {ScriptedReply(201)});
  server.script("GET", "/large", {ScriptedReply(200).withGeneratedBody(3u << 20, 'z')});
  server.start();
  httplib::Client client("127.0.0.1", server.port());
  client.set_compress(true);
  const std::string form(1u << 20, 'a');
  auto posted = client.Post("/form", form, "application/x-www-form-urlencoded");
  ASSERT_TRUE(posted);
  EXPECT_EQ(posted->status, 204);
  EXPECT_EQ(handed, form.size());
  auto scripted = client.Post("/scripted", form, "application/x-www-form-urlencoded");
  ASSERT_TRUE(scripted);
  EXPECT_EQ(scripted->status, 201);
  const auto recorded = server.requests();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].body, form) << "recorded inflated";
  EXPECT_EQ(recorded[0].header("Content-Encoding"), "gzip");
  EXPECT_EQ(recorded[1].body.size(), form.size());

  auto large = client.Get("/large");
  ASSERT_TRUE(large);
  EXPECT_EQ(large->body, std::string(3u << 20, 'z'));
}

TEST(LocalHttpServerTest, AServerNeverStartedGivesItsPortBack) {
  const int port = LocalHttpServer().port();
  EXPECT_EQ(connectTo(port), -1);
  EXPECT_EQ(errno, ECONNREFUSED);
}

}  // namespace
}  // namespace platform::testing
