#pragma once
// An HTTP server on 127.0.0.1 for tests and benchmarks, on Linux and on
// Windows. It listens on a port of the system's choosing and answers each
// connection on a thread of its own, so that a page that never ends holds up
// nothing else. What each request gets comes from a callable; the server only
// carries bytes. The accepting thread sleeps until a connection comes, so an
// idle server costs no processor time.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sorvane::testing {

struct Request {
  std::string line;    // "GET /a?b HTTP/1.1"
  std::string target;  // "/a?b"
  std::string path;    // "/a"
};

struct Response {
  std::string status = "200 OK";
  // Header lines, each ending in "\r\n". Connection: close and Cache-Control:
  // no-store are added, and Content-Length unless the body is streamed.
  std::string headers;
  std::string body;
  // A streamed body: after `body`, pieces asked for one at a time until it
  // gives none, the client goes away or the server stops. It may sleep between
  // pieces to trickle them.
  std::function<std::optional<std::string>()> more;
  // `body` goes out as it is, without a status line or headers.
  bool raw = false;
  // Nothing goes out; the connection stays open until the server stops.
  bool held = false;

  static Response page(std::string headers, std::string body, std::string status = "200 OK");
  static Response notFound() { return page({}, {}, "404 Not Found"); }
  static Response silence();
  static Response bytes(std::string raw);
};

// What the server waits for before it asks for the response.
enum class Await {
  Head,      // a whole request head; a client that sends none within 10 s is dropped
  Anything,  // whatever the client says first, if anything within 5 s (not parsed)
  Nothing,   // no wait: the response is asked for as soon as the client connects
};

class LoopbackServer {
 public:
  using Pages = std::function<Response(const Request&)>;

  explicit LoopbackServer(Pages pages, Await await = Await::Head);
  // Stops accepting, ends open connections and waits a while for their threads.
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + target.
  std::string url(const std::string& target = "/") const;
  // Requests whose path (without the query) is this one.
  int hits(const std::string& path) const;
  // Every request so far.
  int hits() const;
  // The first line of every request, in order of arrival.
  std::vector<std::string> requestLines() const;

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  int port_ = 0;
};

}  // namespace sorvane::testing
