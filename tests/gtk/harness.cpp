#include "harness.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "platform/gtk/gtk_platform.h"

namespace sorvane::gtktest {

namespace {

std::atomic<bool> stopServing{false};
std::mutex hitsMutex;

struct Page {
  std::string headers;
  std::string body;
};

Page pageFor(const std::string& path) {
  const std::string html = "Content-Type: text/html; charset=utf-8\r\n";
  if (path == "/halves")
    return {
        html,
        "<!doctype html><html><body style='margin:0'>"
        "<div style='position:fixed;left:0;top:0;width:50%;height:100%;background:#ff0000'></div>"
        "<div style='position:fixed;right:0;top:0;width:50%;height:100%;background:#0000ff'></div>"
        "</body></html>"};
  if (path == "/blue")
    return {html, "<!doctype html><html><body style='margin:0;background:#0000ff'></body></html>"};
  if (path == "/green")
    return {html, "<!doctype html><html><body style='margin:0;background:#00ff00'></body></html>"};
  if (path == "/link")
    return {html,
            "<!doctype html><html><body style='margin:0;height:3000px;background:#ff0000'>"
            "<a href='/blue' style='position:fixed;left:0;top:0;right:0;bottom:0;"
            "background:#ff0000'>go</a></body></html>"};
  if (path == "/dialogs")
    return {html,
            "<!doctype html><html><body style='margin:0'><script>"
            "alert('a'); var ok = confirm('c'); prompt('p', 'd');"
            "document.body.style.background = ok ? '#00ff00' : '#ffff00';"
            "window.print();</script></body></html>"};
  if (path == "/popup")
    return {html,
            "<!doctype html><html><body style='margin:0;background:#00ff00'><script>"
            "window.open('/blue', 'other');</script></body></html>"};
  if (path == "/download")
    return {
        "Content-Type: application/octet-stream\r\n"
        "Content-Disposition: attachment; filename=\"sorvane-download.bin\"\r\n",
        "not to be saved"};
  if (path == "/download-html")
    return {html + "Content-Disposition: attachment; filename=\"sorvane-download.html\"\r\n",
            "<html><body>not to be saved</body></html>"};
  if (path == "/long")
    return {html,
            "<!doctype html><html><body style='margin:0;height:5000px;background:#ffffff'>"
            "</body></html>"};
  return {};
}

void answer(int client, std::map<std::string, int>& hits) {
  std::string request;
  char buf[2048];
  while (request.find("\r\n\r\n") == std::string::npos) {
    ssize_t n = recv(client, buf, sizeof buf, 0);
    if (n <= 0) return;
    request.append(buf, static_cast<size_t>(n));
  }
  size_t start = request.find(' ') + 1;
  std::string path = request.substr(start, request.find(' ', start) - start);
  {
    std::lock_guard<std::mutex> lock(hitsMutex);
    ++hits[path];
  }
  Page page = pageFor(path);
  std::string status = page.headers.empty() ? "404 Not Found" : "200 OK";
  std::string reply = "HTTP/1.1 " + status + "\r\n" + page.headers +
                      "Content-Length: " + std::to_string(page.body.size()) +
                      "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + page.body;
  send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
}

}  // namespace

int Recorder::count(WidgetId w, int n) const {
  int c = 0;
  for (const Event& e : events) c += (e.widget == w && e.number == n);
  return c;
}

PageServer::PageServer() {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  int yes = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listener_, 16);
  socklen_t len = sizeof addr;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { serve(); });
}

PageServer::~PageServer() {
  stopServing = true;
  thread_.join();
  close(listener_);
}

void PageServer::serve() {
  while (!stopServing) {
    pollfd p{listener_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    int client = accept(listener_, nullptr, nullptr);
    if (client < 0) continue;
    answer(client, hits_);
    close(client);
  }
}

std::string PageServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int PageServer::requests(const std::string& path) const {
  std::lock_guard<std::mutex> lock(hitsMutex);
  auto it = hits_.find(path);
  return it == hits_.end() ? 0 : it->second;
}

namespace {
Harness* theHarness = nullptr;
}

Harness& harness() { return *theHarness; }
Platform& ui() { return *theHarness->platform; }

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
  }
  return true;
}

void pumpFor(int ms) {
  pumpUntil([] { return false; }, ms);
}

bool loadPage(const std::string& url, int timeoutMs) {
  ui().browserNavigate(harness().browser, url);
  if (!pumpUntil([] { return !ui().browserBusy(harness().browser); }, timeoutMs)) return false;
  pumpFor(300);  // let the last paint reach the view
  return true;
}

GtkWidget* findDescendant(GtkWidget* root, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(root, type)) return root;
  if (!GTK_IS_CONTAINER(root)) return nullptr;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(root));
  GtkWidget* found = nullptr;
  for (GList* l = kids; l && !found; l = l->next) found = findDescendant(GTK_WIDGET(l->data), type);
  g_list_free(kids);
  return found;
}

namespace {
void collectButtons(GtkWidget* root, std::vector<GtkWidget*>& out) {
  if (GTK_IS_BUTTON(root)) out.push_back(root);
  if (!GTK_IS_CONTAINER(root)) return;
  GList* kids = gtk_container_get_children(GTK_CONTAINER(root));
  for (GList* l = kids; l; l = l->next) collectButtons(GTK_WIDGET(l->data), out);
  g_list_free(kids);
}
}  // namespace

GtkWidget* findButton(GtkWidget* root, const std::string& label) {
  std::vector<GtkWidget*> buttons;
  collectButtons(root, buttons);
  for (GtkWidget* b : buttons) {
    const char* text = gtk_button_get_label(GTK_BUTTON(b));
    if (!text) continue;
    std::string plain;
    for (const char* c = text; *c; ++c)
      if (*c != '_') plain += *c;
    if (plain == label) return b;
  }
  return nullptr;
}

std::vector<GtkWindow*> openDialogs() {
  std::vector<GtkWindow*> out;
  GList* tops = gtk_window_list_toplevels();
  for (GList* l = tops; l; l = l->next) {
    auto* w = GTK_WINDOW(l->data);
    if (w != mainGtkWindow() && gtk_window_get_window_type(w) == GTK_WINDOW_TOPLEVEL &&
        gtk_widget_get_visible(GTK_WIDGET(w)))
      out.push_back(w);
  }
  g_list_free(tops);
  return out;
}

GtkWindow* mainGtkWindow() {
  GList* tops = gtk_window_list_toplevels();
  GtkWindow* found = nullptr;
  for (GList* l = tops; l && !found; l = l->next)
    if (gtk_style_context_has_class(gtk_widget_get_style_context(GTK_WIDGET(l->data)),
                                    "sorvane-main"))
      found = GTK_WINDOW(l->data);
  g_list_free(tops);
  return found;
}

unsigned pixelAt(const Pixels& p, int x, int y) {
  size_t i = (static_cast<size_t>(y) * static_cast<size_t>(p.width) + static_cast<size_t>(x)) * 3;
  return (unsigned{p.bgr[i + 2]} << 16) | (unsigned{p.bgr[i + 1]} << 8) | p.bgr[i];
}

void keepPicture(const Pixels& p, const std::string& name) {
  const char* folder = std::getenv("SORVANE_TEST_PICTURES");
  if (!folder || p.width <= 0) return;
  std::vector<guchar> rgb(p.bgr.size());
  for (size_t i = 0; i + 2 < p.bgr.size(); i += 3) {
    rgb[i] = p.bgr[i + 2];
    rgb[i + 1] = p.bgr[i + 1];
    rgb[i + 2] = p.bgr[i];
  }
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_data(rgb.data(), GDK_COLORSPACE_RGB, FALSE, 8, p.width,
                                               p.height, p.width * 3, nullptr, nullptr);
  std::string path = std::string(folder) + "/" + name + ".png";
  gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
  g_object_unref(pixbuf);
}

bool near(unsigned rgb, unsigned expected, int tolerance) {
  for (int shift = 0; shift < 24; shift += 8) {
    int a = static_cast<int>((rgb >> shift) & 0xFF);
    int b = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}

}  // namespace sorvane::gtktest

int main(int argc, char** argv) {
  using namespace sorvane::gtktest;
  ::testing::InitGoogleTest(&argc, argv);
  // A fresh home and working folder: downloads, caches and anything else the
  // engine might write would land here, where the tests look for them.
  char home[] = "/tmp/sorvane-gtk-home.XXXXXX";
  if (!mkdtemp(home)) return 2;
  setenv("HOME", home, 1);
  setenv("XDG_DOWNLOAD_DIR", (std::string(home) + "/Downloads").c_str(), 1);
  if (chdir(home) != 0) return 2;

  auto started = std::chrono::steady_clock::now();
  auto platform = sorvane::platform::gtk::makeGtkPlatform(&argc, &argv);
  if (!platform) {
    std::fprintf(stderr, "no display: run under tests/run-under-display\n");
    return 2;
  }
  // The pointer away from every window: whatever gets the keyboard focus must
  // have asked for it.
  if (std::system("xdotool mousemove 0 0") != 0) return 2;
  Harness h;
  h.home = home;
  h.platform = std::move(platform);
  h.platform->setEventSink(&h.sink);
  theHarness = &h;

  WidgetSpec top;
  top.kind = WidgetKind::TopLevel;
  top.rect = {50, 50, 1079, 649};
  top.text = "Sorvane";
  top.visible = true;
  h.window = h.platform->createWidget(top);
  WidgetSpec web;
  web.kind = WidgetKind::Browser;
  web.parent = h.window;
  web.rect = {0, 8, 672, 568};
  web.visible = true;
  web.disabled = true;
  h.browser = h.platform->createWidget(web);
  pumpUntil([] { return mainGtkWindow() && gtk_widget_get_mapped(GTK_WIDGET(mainGtkWindow())); },
            5000);
  std::printf("window with browser on screen %lld ms after start-up\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - started)
                                         .count()));
  pumpFor(300);

  int result = RUN_ALL_TESTS();
  theHarness = nullptr;
  h.platform.reset();
  std::string cleanup = std::string("rm -rf '") + home + "'";
  if (std::system(cleanup.c_str()) != 0) result = result ? result : 1;
  return result;
}
