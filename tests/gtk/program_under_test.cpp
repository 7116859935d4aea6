#include "program_under_test.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "program.h"

namespace sorvane::gtktest {

namespace fs = std::filesystem;
namespace prop = app::prop;

namespace {

ProgramWatch watched;

// Our boxes are the only dialogs with these buttons.
GtkWidget* boxAnswer(GtkWindow* w) {
  if (!GTK_IS_DIALOG(w)) return nullptr;
  GtkWidget* ok = findButton(GTK_WIDGET(w), "确定");
  return ok ? ok : findButton(GTK_WIDGET(w), "是(Y)");
}

// The view keeps a hidden text view of its own for input methods.
void countShownChild(GtkWidget* child, gpointer n) {
  if (gtk_widget_get_visible(child)) ++*static_cast<int*>(n);
}

void noteStranger(const std::string& what) {
  auto& seen = watched.strangers;
  if (std::find(seen.begin(), seen.end(), what) == seen.end()) seen.push_back(what);
}

gboolean watchTick(gpointer) {
  gint64 now = g_get_monotonic_time();
  if (watched.lastTick)
    watched.longestGapUs = std::max(watched.longestGapUs, now - watched.lastTick);
  watched.lastTick = now;
  GList* tops = gtk_window_list_toplevels();
  for (GList* l = tops; l; l = l->next) {
    auto* w = GTK_WINDOW(l->data);
    if (watched.known.count(w) || !gtk_widget_get_visible(GTK_WIDGET(w)) ||
        g_object_get_data(G_OBJECT(w), "sorvane-answered"))
      continue;
    if (GtkWidget* answer = boxAnswer(w)) {
      GtkWidget* text = findDescendant(gtk_dialog_get_content_area(GTK_DIALOG(w)), GTK_TYPE_LABEL);
      watched.boxes.push_back(text ? gtk_label_get_text(GTK_LABEL(text)) : "");
      g_object_set_data(G_OBJECT(w), "sorvane-answered", GINT_TO_POINTER(1));
      gtk_button_clicked(GTK_BUTTON(answer));
      continue;
    }
    const char* title = gtk_window_get_title(w);
    noteStranger(std::string("window \"") + (title ? title : "") + "\" of type " +
                 G_OBJECT_TYPE_NAME(w));
    gtk_widget_destroy(GTK_WIDGET(w));
  }
  g_list_free(tops);
  // The engine would draw its own script dialogs inside the view.
  int children = 0;
  if (watched.view) gtk_container_forall(GTK_CONTAINER(watched.view), countShownChild, &children);
  if (children > 0) noteStranger("a dialog inside the page view");
  return G_SOURCE_CONTINUE;
}

void onProcessEnded(WebKitWebView*, WebKitWebProcessTerminationReason reason, gpointer) {
  watched.endedProcesses.push_back(static_cast<int>(reason));
}

std::vector<GtkWindow*> toplevels() {
  std::vector<GtkWindow*> out;
  GList* tops = gtk_window_list_toplevels();
  for (GList* l = tops; l; l = l->next) out.push_back(GTK_WINDOW(l->data));
  g_list_free(tops);
  return out;
}

}  // namespace

// The harness's test window and the program share one platform here. Each
// hears of its own widgets only: a focus change in the test window must not
// reach the program, which knows no such control and would stop with a fatal
// error.
struct ProgramUnderTest::SplitSink : EventSink {
  app::Frame& program;
  EventSink& rest;
  SplitSink(app::Frame& p, EventSink& r) : program(p), rest(r) {}
  EventSink& to(WidgetId w) {
    return w != 0 && program.controlForWidget(w) != nullptr ? program : rest;
  }
  void widgetEvent(WidgetId w, platform::WidgetEvent e) override { to(w).widgetEvent(w, e); }
  void closeRequested(WidgetId w) override { to(w).closeRequested(w); }
  void widgetDestroyed(WidgetId w) override { to(w).widgetDestroyed(w); }
  bool keyDown(WidgetId w, Key k, unsigned m) override { return to(w).keyDown(w, k, m); }
  void windowActivated(WidgetId w) override { to(w).windowActivated(w); }
  void windowDeactivated(WidgetId w) override { to(w).windowDeactivated(w); }
};

void ProgramWatch::reset() {
  boxes.clear();
  strangers.clear();
  endedProcesses.clear();
  lastTick = 0;
  longestGapUs = 0;
}

std::vector<std::string> ProgramWatch::extraWindows() const {
  std::vector<std::string> out;
  for (GtkWindow* w : toplevels())
    if (!known.count(w)) out.push_back(G_OBJECT_TYPE_NAME(w));
  return out;
}

ProgramUnderTest::ProgramUnderTest() : startFolder_(fs::current_path()) {
  watched = ProgramWatch{};
  for (GtkWindow* w : toplevels()) watched.known.insert(w);
  // Watching from the start: a box that start-up might show is answered
  // rather than waited on for ever.
  watchSource_ = g_timeout_add(50, watchTick, nullptr);
  frame_ = std::make_unique<app::Frame>(ui(), programHandlers(run_));
  frame_->startUp();
  sink_ = std::make_unique<SplitSink>(*frame_, harness().sink);
  ui().setEventSink(sink_.get());
  programFolder_ = fs::current_path();
  GtkWidget* window = nullptr;
  for (GtkWindow* w : toplevels())
    if (!watched.known.count(w)) window = GTK_WIDGET(w);
  if (!window) {
    ADD_FAILURE() << "the program showed no window";
    return;
  }
  watched.known.insert(GTK_WINDOW(window));
  pumpUntil([&] { return gtk_widget_get_mapped(window); }, 5000);
  // The first page starts the engine's processes, which set up what they
  // keep per user once. The engine's view is there from then on at the latest.
  frame_->navigate(control("互联网浏览器1"), Text(harness().server.url("/solid/ffffff")));
  auto* view = WEBKIT_WEB_VIEW(findDescendant(window, WEBKIT_TYPE_WEB_VIEW));
  if (!view) {
    ADD_FAILURE() << "the program's window has no browser";
    return;
  }
  g_signal_connect(view, "web-process-terminated", G_CALLBACK(onProcessEnded), nullptr);
  pumpUntil([this] { return !busy(); }, 15000);
  pumpFor(500);
  watched.view = view;
}

ProgramUnderTest::~ProgramUnderTest() {
  if (watchSource_) g_source_remove(watchSource_);
  if (watched.view)
    g_signal_handlers_disconnect_by_func(watched.view, reinterpret_cast<gpointer>(onProcessEnded),
                                         nullptr);
  watched = ProgramWatch{};
  frame_->shutdown();
  frame_.reset();  // takes the platform's events away from everyone
  ui().setEventSink(&harness().sink);
  fs::current_path(startFolder_);
  // The test window is the active one again for the tests that follow.
  if (GtkWindow* main = mainGtkWindow()) {
    gtk_window_present(main);
    pumpUntil([main] { return gtk_window_is_active(main); }, 2000);
  }
}

ProgramWatch& ProgramUnderTest::watch() { return watched; }
WebKitWebView* ProgramUnderTest::view() const { return watched.view; }

void ProgramUnderTest::click(app::ControlName name) {
  frame_->raiseEvent(&control(name), app::event::clicked);
}

std::string ProgramUnderTest::startCaption() {
  return frame_->readText(control("按钮1"), prop::button::caption).bytes();
}

int ProgramUnderTest::period(app::ControlName timer) {
  return frame_->readInt(control(timer), prop::timer::period);
}

bool ProgramUnderTest::busy() { return frame_->busy(control("互联网浏览器1")); }

void ProgramUnderTest::setList(const std::vector<std::string>& urls) {
  click("按钮5");
  for (const std::string& u : urls) {
    frame_->writeText(control("编辑框2"), prop::editBox::content, Text(u));
    click("按钮2");
  }
  EXPECT_EQ(frame_->vars().urlArray.size(), urls.size());
}

long long ProgramUnderTest::runToEnd(int budgetMs) {
  auto started = std::chrono::steady_clock::now();
  click("按钮1");
  EXPECT_EQ(startCaption(), "停止");
  const std::string end = "连续访问结束";
  bool ended = pumpUntil(
      [&] {
        return startCaption() == "开始" &&
               std::find(watched.boxes.begin(), watched.boxes.end(), end) != watched.boxes.end();
      },
      budgetMs);
  if (!ended) {
    ADD_FAILURE() << "the run did not end within " << budgetMs << " ms";
    if (startCaption() == "停止") click("按钮1");
    return -1;
  }
  long long took = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::steady_clock::now() - started)
                       .count();
  std::printf("run of %zu pages took %lld ms\n", frame_->vars().urlArray.size(), took);
  return took;
}

void ProgramUnderTest::settleBrowser() {
  if (busy() && watched.view) webkit_web_view_terminate_web_process(watched.view);
  frame_->navigate(control("互联网浏览器1"), Text("about:blank"));
  EXPECT_TRUE(pumpUntil([this] { return !busy(); }, 10000));
}

std::set<std::string> filesUnder(const fs::path& root, bool recursive) {
  std::set<std::string> out;
  std::error_code e;
  if (recursive) {
    for (auto it = fs::recursive_directory_iterator(root, e); !e && it != fs::end(it);
         it.increment(e))
      out.insert(fs::relative(it->path(), root).string());
  } else {
    for (auto it = fs::directory_iterator(root, e); !e && it != fs::end(it); it.increment(e))
      out.insert(it->path().filename().string());
  }
  return out;
}

std::vector<std::string> added(const std::set<std::string>& before,
                               const std::set<std::string>& after) {
  std::vector<std::string> out;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(),
                      std::back_inserter(out));
  return out;
}

std::set<int> webProcesses() {
  std::set<int> out;
  std::error_code e;
  for (auto it = fs::directory_iterator("/proc", e); !e && it != fs::end(it); it.increment(e)) {
    std::string pid = it->path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(it->path() / "stat");
    std::string line;
    std::getline(stat, line);
    // "pid (name) state parent ..."; the kernel cuts the name to 15 bytes.
    size_t close = line.rfind(')');
    if (close == std::string::npos || line.find("(WebKitWebProces") == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    int parent = 0;
    rest >> state >> parent;
    if (parent == getpid() && state != "Z") out.insert(std::stoi(pid));
  }
  return out;
}

unsigned Picture::pixel(int x, int y) const {
  // A BMP keeps its rows bottom up, each pixel as blue, green, red.
  size_t i = 54 + (static_cast<size_t>(567 - y) * 672 + static_cast<size_t>(x)) * 3;
  auto at = [&](size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[k])); };
  return at(i + 2) << 16 | at(i + 1) << 8 | at(i);
}

std::vector<Picture> picturesIn(const fs::path& folder) {
  std::vector<std::pair<fs::file_time_type, Picture>> found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name.size() > 4 && name.ends_with(".jpg")) << name;
    EXPECT_EQ(entry.file_size(), kPictureBytes) << name;
    std::ifstream in(entry.path(), std::ios::binary);
    Picture p{name, std::string(std::istreambuf_iterator<char>(in), {})};
    EXPECT_EQ(p.bytes.substr(0, 2), "BM") << name;
    if (p.bytes.size() == kPictureBytes) found.push_back({entry.last_write_time(), std::move(p)});
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Picture> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

}  // namespace sorvane::gtktest
