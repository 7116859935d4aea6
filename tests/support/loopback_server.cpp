#include "loopback_server.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace sorvane::testing {

namespace {

// --- The sockets of each system ---------------------------------------------

#ifdef _WIN32
using Socket = SOCKET;
constexpr Socket kNoSocket = INVALID_SOCKET;
using AddressLength = int;

void startSockets() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}
void endSockets() { WSACleanup(); }
Socket newSocket() { return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); }
Socket acceptClient(Socket listener) { return accept(listener, nullptr, nullptr); }
void closeSocket(Socket s) { closesocket(s); }
void shutDown(Socket s) { shutdown(s, SD_BOTH); }
int sendSome(Socket s, const char* data, std::size_t size) {
  return send(s, data, static_cast<int>(size), 0);
}
int receive(Socket s, char* buffer, std::size_t size) {
  return recv(s, buffer, static_cast<int>(size), 0);
}
// Winsock does not promise that a shutdown wakes a select, so the wait is cut
// into short steps that look at the stop flag.
bool waitReadable(Socket s, int timeoutMs, const std::atomic<bool>& stop) {
  constexpr int kStepMs = 100;
  for (int waited = 0; waited < timeoutMs && !stop; waited += kStepMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval step{0, kStepMs * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &step);
    if (ready != 0) return ready > 0;
  }
  return false;
}
#else
using Socket = int;
constexpr Socket kNoSocket = -1;
using AddressLength = socklen_t;

void startSockets() {}
void endSockets() {}
// Close-on-exec: the engine's processes and the program under test must not
// inherit the tests' connections.
Socket newSocket() { return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0); }
Socket acceptClient(Socket listener) { return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }
void closeSocket(Socket s) { close(s); }
// Wakes a poll or a recv on the socket in another thread.
void shutDown(Socket s) { shutdown(s, SHUT_RDWR); }
int sendSome(Socket s, const char* data, std::size_t size) {
  return static_cast<int>(send(s, data, size, MSG_NOSIGNAL));
}
int receive(Socket s, char* buffer, std::size_t size) {
  return static_cast<int>(recv(s, buffer, size, 0));
}
bool waitReadable(Socket s, int timeoutMs, const std::atomic<bool>&) {
  pollfd p{s, POLLIN, 0};
  return poll(&p, 1, timeoutMs) > 0;
}
#endif

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  return address;
}

// --- HTTP --------------------------------------------------------------------

bool sendAll(Socket client, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int n = sendSome(client, bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// The request head, or nothing when the client goes away or stays silent.
std::optional<std::string> readHead(Socket client, const std::atomic<bool>& stop) {
  std::string head;
  char buffer[2048];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (!waitReadable(client, 10000, stop)) return std::nullopt;
    const int n = receive(client, buffer, sizeof buffer);
    if (n <= 0) return std::nullopt;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  return head;
}

Request parseHead(const std::string& head) {
  Request request;
  request.line = head.substr(0, head.find("\r\n"));
  const std::size_t start = request.line.find(' ');
  if (start == std::string::npos) return request;
  const std::size_t end = request.line.find(' ', start + 1);
  request.target = request.line.substr(start + 1, end == std::string::npos ? end : end - start - 1);
  request.path = request.target.substr(0, request.target.find('?'));
  return request;
}

void respond(Socket client, const Response& response, const std::atomic<bool>& stop) {
  if (response.raw) {
    sendAll(client, response.body);
    return;
  }
  std::string head = "HTTP/1.1 " + response.status + "\r\n" + response.headers;
  if (!response.more) head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  head += "Connection: close\r\nCache-Control: no-store\r\n\r\n";
  if (!sendAll(client, head + response.body) || !response.more) return;
  while (!stop) {
    const std::optional<std::string> piece = response.more();
    if (!piece || !sendAll(client, *piece)) return;
  }
}

}  // namespace

Response Response::page(std::string headers, std::string body, std::string status) {
  Response response;
  response.status = std::move(status);
  response.headers = std::move(headers);
  response.body = std::move(body);
  return response;
}

Response Response::silence() {
  Response response;
  response.held = true;
  return response;
}

Response Response::bytes(std::string raw) {
  Response response;
  response.raw = true;
  response.body = std::move(raw);
  return response;
}

// Kept by the accepting thread and by each connection's thread, so that a
// connection thread that outlives the server (it may, if a page's callable
// never returns) still has what it uses.
struct LoopbackServer::Shared {
  Pages pages;
  Await await = Await::Head;
  Socket listener = kNoSocket;
  std::atomic<bool> stop{false};
  std::thread acceptor;

  std::mutex mutex;
  std::condition_variable workersDone;
  int workers = 0;
  std::set<Socket> open;  // being answered, or held
  std::map<std::string, int> hitsByPath;
  std::vector<std::string> lines;

  void answer(Socket client) {
    Request request;
    if (await == Await::Head) {
      const std::optional<std::string> head = readHead(client, stop);
      if (!head) return;
      request = parseHead(*head);
      std::lock_guard lock(mutex);
      ++hitsByPath[request.path];
      lines.push_back(request.line);
    } else if (await == Await::Anything) {
      char buffer[4096];
      if (waitReadable(client, 5000, stop)) (void)receive(client, buffer, sizeof buffer);
    }
    const Response response = pages(request);
    if (response.held) {
      std::lock_guard lock(mutex);
      if (!stop) held.insert(client);
      return;
    }
    respond(client, response, stop);
  }

  std::set<Socket> held;  // left open until the server stops

  void acceptConnections(const std::shared_ptr<Shared>& self) {
    for (;;) {
      const Socket client = acceptClient(listener);
      if (stop) {
        if (client != kNoSocket) closeSocket(client);
        return;
      }
      if (client == kNoSocket) {
        // Only a connection aborted before it was taken; anything worse
        // would repeat at once, so a short rest keeps it from spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        continue;
      }
      {
        std::lock_guard lock(mutex);
        open.insert(client);
        ++workers;
      }
      std::thread([self, client] {
        self->answer(client);
        std::lock_guard lock(self->mutex);
        self->open.erase(client);
        if (!self->held.count(client)) closeSocket(client);
        --self->workers;
        self->workersDone.notify_all();
      }).detach();
    }
  }
};

LoopbackServer::LoopbackServer(Pages pages, Await await) : shared_(std::make_shared<Shared>()) {
  startSockets();
  shared_->pages = std::move(pages);
  shared_->await = await;
  shared_->listener = newSocket();
  const int yes = 1;
  setsockopt(shared_->listener, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes),
             sizeof yes);
  sockaddr_in address = loopback(0);
  AddressLength length = sizeof address;
  if (bind(shared_->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(shared_->listener, 64) != 0 ||
      getsockname(shared_->listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("loopback server");
    std::abort();
  }
  port_ = ntohs(address.sin_port);
  std::shared_ptr<Shared> shared = shared_;
  shared_->acceptor = std::thread([shared] { shared->acceptConnections(shared); });
}

LoopbackServer::~LoopbackServer() {
  shared_->stop = true;
  // The accepting thread sleeps in accept. Shutting the listener down wakes it
  // on Linux; a connection of our own wakes it on Windows.
  shutDown(shared_->listener);
  const Socket waker = newSocket();
  const sockaddr_in address = loopback(port_);
  connect(waker, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  shared_->acceptor.join();
  closeSocket(waker);

  std::unique_lock lock(shared_->mutex);
  for (Socket s : shared_->open) shutDown(s);
  // Connection threads see the stop within a trickle step or a wait.
  if (!shared_->workersDone.wait_for(lock, std::chrono::seconds(10),
                                     [this] { return shared_->workers == 0; }))
    std::fprintf(stderr, "loopback server: connections still open\n");
  for (Socket s : shared_->held) closeSocket(s);
  shared_->held.clear();
  closeSocket(shared_->listener);
  lock.unlock();
  endSockets();
}

std::string LoopbackServer::url(const std::string& target) const {
  return "http://127.0.0.1:" + std::to_string(port_) + target;
}

int LoopbackServer::hits(const std::string& path) const {
  std::lock_guard lock(shared_->mutex);
  const auto it = shared_->hitsByPath.find(path);
  return it == shared_->hitsByPath.end() ? 0 : it->second;
}

int LoopbackServer::hits() const {
  std::lock_guard lock(shared_->mutex);
  return static_cast<int>(shared_->lines.size());
}

std::vector<std::string> LoopbackServer::requestLines() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->lines;
}

}  // namespace sorvane::testing
