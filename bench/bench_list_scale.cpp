// bench_list_scale: the address list at a hundred thousand addresses, on the
// real GTK list box.
//
//   tests/run-under-display build/bench/bench_list_scale [COUNT]
//
// The program runs in-process on the GTK platform (Xvfb). A list file of COUNT
// (100,000) addresses of 40 to 50 bytes is written first. Each operation goes
// through the program's own handler, raised as the button's click would raise
// it; the file dialog is answered at once with the prepared path and the boxes
// with OK, so no dialog time is counted. Timed, in this order:
//   import   按钮4 into the empty list
//   export   按钮3 (the file is compared with the imported one)
//   add      按钮2 with a new address, five times (each rebuilds the list box)
//   delete   a click on the first row (xdotool, untimed), then the list's
//            double-click handler, five times
//   reimport 按钮4 again, replacing the full list
//   clear    按钮5
// For each: the handler alone, and the handler plus the time until the main
// window has painted its next frame and the loop is idle ("on screen"). After
// each, the resident memory (VmRSS) and the peak so far (VmHWM); at the end,
// the resident memory once more after malloc_trim, which tells memory the
// allocator merely keeps from memory still in use.

#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "bench_support.h"
#include "services/files.h"

using namespace sorvane;
using namespace sorvane::bench;

namespace {

struct Timed {
  double handler = 0;
  double onScreen = 0;
};

Timed timed(const std::function<void()>& action) {
  Timed t;
  const double start = nowMs();
  action();
  t.handler = nowMs() - start;
  untilPainted();
  t.onScreen = nowMs() - start;
  return t;
}

void report(const char* what, const Timed& t, int items) {
  std::printf(
      "%-10s %9.1f ms handler %9.1f ms on screen   %7d items   RSS %7.1f MB   peak %7.1f MB\n",
      what, t.handler, t.onScreen, items, residentKb() / 1024.0, peakResidentKb() / 1024.0);
  std::fflush(stdout);
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The first row of the list box, clicked as a person would.
bool clickFirstRow() {
  GtkWidget* tree = nullptr;
  std::vector<GtkWidget*> todo{GTK_WIDGET(mainGtkWindow())};
  while (!todo.empty() && !tree) {
    GtkWidget* w = todo.back();
    todo.pop_back();
    if (GTK_IS_TREE_VIEW(w)) tree = w;
    if (GTK_IS_CONTAINER(w)) {
      GList* kids = gtk_container_get_children(GTK_CONTAINER(w));
      for (GList* l = kids; l; l = l->next) todo.push_back(GTK_WIDGET(l->data));
      g_list_free(kids);
    }
  }
  if (!tree || !gtk_tree_view_get_model(GTK_TREE_VIEW(tree))) return false;
  GdkRectangle row{};
  GtkTreePath* path = gtk_tree_path_new_from_indices(0, -1);
  gtk_tree_view_scroll_to_cell(GTK_TREE_VIEW(tree), path, nullptr, FALSE, 0, 0);
  untilPainted();
  gtk_tree_view_get_background_area(GTK_TREE_VIEW(tree), path, nullptr, &row);
  gtk_tree_path_free(path);
  int ox = 0, oy = 0;
  gdk_window_get_origin(gtk_tree_view_get_bin_window(GTK_TREE_VIEW(tree)), &ox, &oy);
  const std::string command = "xdotool mousemove " + std::to_string(ox + 20) + " " +
                              std::to_string(oy + row.y + row.height / 2) + " click 1";
  return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Desktop desktop(&argc, &argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
  TempFolder temp;
  const std::string listFile = temp.path + "/list.txt";
  const std::string exportFile = temp.path + "/exported.txt";
  {
    std::string bytes;
    for (int i = 0; i < count; ++i)
      bytes += "\r\nhttp://www.example-" + std::to_string(i % 997) + ".test/pages/item-" +
               std::to_string(i) + ".html";
    std::ofstream(listFile, std::ios::binary) << bytes;
    std::printf("list file: %d addresses, %.1f MB\n", count,
                static_cast<double>(bytes.size()) / 1e6);
  }

  BenchPlatform& platform = *desktop.platform;
  std::string answer;
  platform.onFileDialog = [&](const platform::FileDialogRequest&) {
    return std::optional<std::string>(answer);
  };
  Program program(platform);
  app::ProgramVariables& vars = program.frame().vars();
  auto items = [&] { return static_cast<int>(vars.urlArray.size()); };
  std::printf("started    RSS %.1f MB\n", residentKb() / 1024.0);

  answer = listFile;
  Timed t = timed([&] { program.click("按钮4"); });
  report("import", t, items());
  if (items() != count) {
    std::fprintf(stderr, "imported %d addresses, wanted %d\n", items(), count);
    return 1;
  }

  answer = exportFile;
  t = timed([&] { program.click("按钮3"); });
  report("export", t, items());
  if (readAll(exportFile) != readAll(listFile)) {
    std::fprintf(stderr, "the exported file differs from the imported one\n");
    return 1;
  }

  std::vector<double> add, addScreen;
  for (int i = 0; i < 5; ++i) {
    program.setText("编辑框2", "http://added-" + std::to_string(i) + ".test/");
    t = timed([&] { program.click("按钮2"); });
    add.push_back(t.handler);
    addScreen.push_back(t.onScreen);
    report("add", t, items());
  }

  std::vector<double> del, delScreen;
  for (int i = 0; i < 5; ++i) {
    const int before = items();
    if (!clickFirstRow() ||
        !pumpUntil([&] { return platform.listSelection(program.control("列表框1").widget) == 0; },
                   3000)) {
      std::fprintf(stderr, "could not select the first row\n");
      return 1;
    }
    pumpFor(600);  // the next click must not count as a double-click
    t = timed([&] { program.doubleClick("列表框1"); });
    if (items() != before - 1) {
      std::fprintf(stderr, "the double-click deleted nothing\n");
      return 1;
    }
    del.push_back(t.handler);
    delScreen.push_back(t.onScreen);
    report("delete", t, items());
  }

  answer = listFile;
  t = timed([&] { program.click("按钮4"); });
  report("reimport", t, items());
  t = timed([&] { program.click("按钮5"); });
  report("clear", t, items());
  pumpFor(1000);
  std::printf("settled    RSS %.1f MB after 1 s\n", residentKb() / 1024.0);
  // What the list freed but the allocator kept, as opposed to what leaked.
  malloc_trim(0);
  std::printf("trimmed    RSS %.1f MB after malloc_trim\n", residentKb() / 1024.0);

  std::printf("add one to %d:    handler %s\n", count, describe(summarise(add)).c_str());
  std::printf("                        on screen %s\n", describe(summarise(addScreen)).c_str());
  std::printf("delete one of %d: handler %s\n", count, describe(summarise(del)).c_str());
  std::printf("                        on screen %s\n", describe(summarise(delScreen)).c_str());
  return 0;
}
