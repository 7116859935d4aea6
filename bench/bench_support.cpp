#include "bench_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <gtk/gtk.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/control_model.h"
#include "program.h"
#include "platform/gtk/platform.h"

namespace sorvane::bench {

// --- Page server -------------------------------------------------------------

PageServer::PageServer() {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listener_, 16) != 0) {
    std::perror("page server");
    std::exit(2);
  }
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

PageServer::~PageServer() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

std::string PageServer::url(int page) const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/page/" + std::to_string(page);
}

unsigned PageServer::colourOf(int page) {
  // Steps far enough apart that neighbouring pages never look alike.
  auto n = static_cast<unsigned>(page);
  return ((n * 97u + 40u) % 256u) << 16 | ((n * 53u + 90u) % 256u) << 8 | ((n * 29u + 140u) % 256u);
}

long PageServer::requests() const { return requests_; }

void PageServer::serve() {
  while (!stop_) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    std::string request;
    char buf[2048];
    while (request.find("\r\n\r\n") == std::string::npos) {
      ssize_t n = recv(client, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<std::size_t>(n));
    }
    const std::size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    std::string status = "404 Not Found";
    std::string body;
    if (path.rfind("/page/", 0) == 0) {
      ++requests_;
      char colour[8];
      std::snprintf(colour, sizeof colour, "#%06x", colourOf(std::atoi(path.c_str() + 6)));
      status = "200 OK";
      body = std::string("<!doctype html><html><head><title>") + path.substr(6) +
             "</title></head><body style='margin:0;background:" + colour + "'><p>" + path +
             "</p></body></html>";
    }
    std::string reply = "HTTP/1.1 " + status +
                        "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                        std::to_string(body.size()) +
                        "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
    send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    close(client);
  }
}

// --- The wrapper platform ---------------------------------------------------

void BenchPlatform::browserNavigate(platform::WidgetId b, const std::string& url) {
  if (onNavigate) onNavigate(nowMs(), url);
  target().browserNavigate(b, url);
}

std::optional<platform::Pixels> BenchPlatform::capture(platform::WidgetId w) {
  const double start = nowMs();
  std::optional<platform::Pixels> picture = target().capture(w);
  if (onCapture) onCapture(start, nowMs() - start, picture.value_or(platform::Pixels{}));
  return picture;
}

int BenchPlatform::messageBox(const std::string& text, const std::string&, unsigned) {
  boxes.push_back(text);
  return onMessageBox ? onMessageBox(text) : platform::box::kResultOk;
}

// --- Desktop and program ----------------------------------------------------

Desktop::Desktop(int* argc, char*** argv) {
  char folder[] = "/tmp/sorvane-bench-home.XXXXXX";
  if (!mkdtemp(folder)) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  home = folder;
  setenv("HOME", folder, 1);
  real = platform::gtk::makeGtkPlatform(argc, argv);
  if (!real) {
    std::fprintf(stderr, "no display: run under tests/run-under-display\n");
    std::exit(2);
  }
  platform = std::make_unique<BenchPlatform>(*real);
}

Desktop::~Desktop() {
  platform.reset();
  real.reset();
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
}

namespace {
void countPaint(GdkFrameClock*, gpointer counter) { ++*static_cast<int*>(counter); }
}  // namespace

double untilPainted(double timeoutMs) {
  const double start = nowMs();
  GtkWindow* window = mainGtkWindow();
  GdkFrameClock* clock = window ? gtk_widget_get_frame_clock(GTK_WIDGET(window)) : nullptr;
  if (clock) {
    int paints = 0;
    const gulong handler = g_signal_connect(clock, "after-paint", G_CALLBACK(countPaint), &paints);
    // A frame even when nothing changed; it draws only what was invalidated.
    gdk_frame_clock_request_phase(clock, GDK_FRAME_CLOCK_PHASE_PAINT);
    pumpUntil([&] { return paints > 0; }, timeoutMs);
    g_signal_handler_disconnect(clock, handler);
  }
  settle(timeoutMs);
  return nowMs() - start;
}

Program::Program(BenchPlatform& platform)
    : frame_(std::make_unique<app::Frame>(platform, programHandlers())) {
  frame_->startUp();
  if (!pumpUntil(
          [] { return mainGtkWindow() && gtk_widget_get_mapped(GTK_WIDGET(mainGtkWindow())); },
          10000)) {
    std::fprintf(stderr, "the main window never came on screen\n");
    std::exit(2);
  }
  pumpFor(300);  // first paint, engine process up
}

Program::~Program() {
  if (frame_->mainWindowLoaded()) frame_->shutdown();
}

void Program::setText(const char* name, const std::string& text) {
  frame_->writeText(control(name), app::prop::editBox::content, Text(text));
}

void pumpFor(double ms) {
  pumpUntil([] { return false; }, ms);
}

bool pumpUntil(const std::function<bool()>& done, double timeoutMs) {
  const double end = nowMs() + timeoutMs;
  while (!done()) {
    if (nowMs() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

double settle(double timeoutMs) {
  const double start = nowMs();
  while (g_main_context_pending(nullptr) && nowMs() - start < timeoutMs)
    g_main_context_iteration(nullptr, FALSE);
  return nowMs() - start;
}

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sorvane-bench.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  path = buf.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void emptyFolder(const std::string& path) {
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(path, ignored))
    std::filesystem::remove_all(e.path(), ignored);
}

}  // namespace sorvane::bench
