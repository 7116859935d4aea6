#include "harness.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/gtk/platform.h"
#include "../support/pump.h"

namespace sorvane::gtktest {

namespace {
Harness* theHarness = nullptr;

void pumpOnce() {
  if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(2000);
}
}  // namespace

Harness& harness() { return *theHarness; }
Platform& ui() { return *theHarness->platform; }

bool pumpUntil(const std::function<bool()>& done, int timeoutMs) {
  return testing::pumpUntil(done, timeoutMs, pumpOnce);
}

void pumpFor(int ms) { testing::pumpFor(ms, pumpOnce); }

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

std::string describeDialogs() {
  std::string out;
  for (GtkWindow* w : openDialogs()) {
    const char* title = gtk_window_get_title(w);
    out += std::string(G_OBJECT_TYPE_NAME(w)) + " \"" + (title ? title : "") + "\" buttons:";
    std::vector<GtkWidget*> buttons;
    collectButtons(GTK_WIDGET(w), buttons);
    for (GtkWidget* b : buttons)
      if (const char* label = gtk_button_get_label(GTK_BUTTON(b))) out += std::string(" [") + label + "]";
    out += "\n";
  }
  return out;
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
