// The tests' loopback server: what a client gets for each kind of response,
// what it counts, and that it stops while connections are still open.

#include "../support/loopback_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

namespace sorvane::testing {
namespace {

using namespace std::chrono_literals;

int connectTo(int port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return s;
}

// What arrives until the server closes the connection or `waitMs` has
// passed; `closed` says which.
std::string readAll(int s, int waitMs, bool* closed = nullptr) {
  std::string got;
  char buffer[4096];
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd p{s, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      if (closed) *closed = false;
      return got;
    }
    const ssize_t n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (closed) *closed = true;
      return got;
    }
    got.append(buffer, static_cast<size_t>(n));
  }
}

int ask(const LoopbackServer& server, const std::string& request) {
  const int s = connectTo(server.port());
  send(s, request.data(), request.size(), MSG_NOSIGNAL);
  return s;
}

std::string fetch(const LoopbackServer& server, const std::string& request, bool* closed = nullptr) {
  const int s = ask(server, request);
  std::string got = readAll(s, 2000, closed);
  close(s);
  return got;
}

std::string get(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

bool within(std::chrono::milliseconds time, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + time;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

Response pages(const Request& request) {
  if (request.path == "/page") return Response::page("Content-Type: text/plain\r\n", "hello");
  if (request.path == "/moved") return Response::page("Location: /page\r\n", "", "302 Found");
  if (request.path == "/raw") return Response::bytes("not http at all");
  if (request.path == "/held") return Response::silence();
  if (request.path == "/pieces") {
    Response r = Response::page({}, "a");
    r.more = [n = 0]() mutable -> std::optional<std::string> {
      if (n == 3) return std::nullopt;
      return std::string(1, static_cast<char>('b' + n++));
    };
    return r;
  }
  if (request.path == "/endless") {
    Response r = Response::page({}, "start");
    r.more = []() -> std::optional<std::string> {
      std::this_thread::sleep_for(20ms);
      return "-";
    };
    return r;
  }
  return Response::notFound();
}

TEST(LoopbackServerTest, EachKindOfResponseReachesTheClientAsWritten) {
  LoopbackServer server(&pages);
  struct Case {
    const char* target;
    std::string expected;
  };
  const Case cases[] = {
      {"/page?x=1",
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n"
       "Connection: close\r\nCache-Control: no-store\r\n\r\nhello"},
      {"/moved",
       "HTTP/1.1 302 Found\r\nLocation: /page\r\nContent-Length: 0\r\n"
       "Connection: close\r\nCache-Control: no-store\r\n\r\n"},
      {"/nowhere",
       "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n"
       "Connection: close\r\nCache-Control: no-store\r\n\r\n"},
      {"/raw", "not http at all"},
      // A streamed body has no length: its end is the connection's.
      {"/pieces", "HTTP/1.1 200 OK\r\nConnection: close\r\nCache-Control: no-store\r\n\r\nabcd"},
  };
  for (const Case& c : cases) {
    bool closed = false;
    EXPECT_EQ(fetch(server, get(c.target), &closed), c.expected) << c.target;
    EXPECT_TRUE(closed) << c.target;
  }
}

TEST(LoopbackServerTest, CountsRequestsByPathWhateverTheQuery) {
  LoopbackServer server(&pages);
  fetch(server, get("/page"));
  fetch(server, get("/page?a"));
  fetch(server, get("/nowhere?page"));
  EXPECT_EQ(server.hits("/page"), 2);
  EXPECT_EQ(server.hits("/nowhere"), 1);
  EXPECT_EQ(server.hits("/page?a"), 0);
  EXPECT_EQ(server.hits(), 3);
  EXPECT_EQ(server.requestLines(),
            (std::vector<std::string>{"GET /page HTTP/1.1", "GET /page?a HTTP/1.1",
                                      "GET /nowhere?page HTTP/1.1"}));
  EXPECT_EQ(server.url("/page?a"), "http://127.0.0.1:" + std::to_string(server.port()) + "/page?a");
}

// A request that takes several packets still counts once, as one request.
TEST(LoopbackServerTest, AHeadInPiecesIsReadWhole) {
  LoopbackServer server(&pages);
  const int s = connectTo(server.port());
  const std::string request = get("/page");
  for (char c : request) {
    send(s, &c, 1, MSG_NOSIGNAL);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_NE(readAll(s, 2000).find("\r\n\r\nhello"), std::string::npos);
  close(s);
  EXPECT_EQ(server.hits("/page"), 1);
}

TEST(LoopbackServerTest, OneConnectionHeldOrTrickledHoldsUpNoOther) {
  LoopbackServer server(&pages);
  const int held = ask(server, get("/held"));
  const int endless = ask(server, get("/endless"));

  EXPECT_NE(fetch(server, get("/page")).find("hello"), std::string::npos);
  bool closed = true;
  EXPECT_EQ(readAll(held, 300, &closed), "");
  EXPECT_FALSE(closed) << "a held connection is neither answered nor closed";
  EXPECT_NE(readAll(endless, 300, &closed).find("start--"), std::string::npos);
  EXPECT_FALSE(closed);
  close(held);
  close(endless);
}

// The server stops at once with a held connection, a trickle and a client
// that never says anything, and every one of them sees the connection end.
TEST(LoopbackServerTest, StoppingEndsOpenConnectionsPromptly) {
  auto server = std::make_unique<LoopbackServer>(&pages);
  const int held = ask(*server, get("/held"));
  const int endless = ask(*server, get("/endless"));
  const int mute = connectTo(server->port());
  ASSERT_TRUE(readAll(endless, 200).starts_with("HTTP/1.1 200 OK"));
  ASSERT_TRUE(within(2s, [&] { return server->hits() == 2; }));

  const auto start = std::chrono::steady_clock::now();
  server.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  for (int s : {held, endless, mute}) {
    bool closed = false;
    readAll(s, 2000, &closed);
    EXPECT_TRUE(closed);
    close(s);
  }
}

TEST(LoopbackServerTest, ServersThatDoNotWaitForAHeadAnswerAtOnce) {
  LoopbackServer noise([](const Request&) { return Response::bytes("noise"); }, Await::Anything);
  EXPECT_EQ(fetch(noise, "\x16\x03\x01 a hello that is not HTTP"), "noise");

  LoopbackServer silent([](const Request&) { return Response::silence(); }, Await::Nothing);
  const int s = connectTo(silent.port());
  bool closed = true;
  EXPECT_EQ(readAll(s, 300, &closed), "");
  EXPECT_FALSE(closed);
  close(s);
  EXPECT_EQ(silent.hits(), 0);
}

}  // namespace
}  // namespace sorvane::testing
