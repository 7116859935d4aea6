// Message boxes and pickers, answered from timers that keep ticking in their
// nested loops, as the program's own timers do.

#include <atk/atk.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "harness.h"

namespace sorvane::gtktest {
namespace {

namespace fs = std::filesystem;

// Runs step() from a timer until it says it is done; counts the ticks. A
// dialog still open after ten seconds is torn down so that the run goes on.
struct Answerer {
  explicit Answerer(std::function<bool(int tick)> step) : step_(std::move(step)) {
    id_ = ui().startTimer(40, [this] {
      if (++ticks > 250) {
        ADD_FAILURE() << "a dialog was never answered; open:\n" << describeDialogs();
        // Destroying one dialog may take another with it: ask again each time.
        for (int i = 0; i < 10 && !openDialogs().empty(); ++i)
          gtk_widget_destroy(GTK_WIDGET(openDialogs().front()));
        ui().stopTimer(id_);
      } else if (step_(ticks)) {
        ui().stopTimer(id_);
      }
    });
  }
  ~Answerer() { ui().stopTimer(id_); }
  Answerer(const Answerer&) = delete;
  Answerer& operator=(const Answerer&) = delete;
  int ticks = 0;

 private:
  std::function<bool(int)> step_;
  TimerId id_ = 0;
};

GtkWindow* onlyDialog() {
  auto dialogs = openDialogs();
  return dialogs.size() == 1 ? dialogs.front() : nullptr;
}

bool press(const std::string& label) {
  GtkWindow* d = onlyDialog();
  GtkWidget* b = d ? findButton(GTK_WIDGET(d), label) : nullptr;
  if (!b) return false;
  gtk_button_clicked(GTK_BUTTON(b));
  return true;
}

TEST(MessageBox, TimersTickWhileItWaitsAndItIsModalOverTheMainWindow) {
  std::string title;
  bool modal = false;
  bool transient = false;
  std::string buttonName;
  Answerer answer([&](int tick) {
    GtkWindow* d = onlyDialog();
    if (!d || tick < 5) return false;
    title = gtk_window_get_title(d);
    modal = gtk_window_get_modal(d);
    transient = gtk_window_get_transient_for(d) == mainGtkWindow();
    GtkWidget* ok = findButton(GTK_WIDGET(d), "确定");
    if (ok) buttonName = atk_object_get_name(gtk_widget_get_accessible(ok));
    return press("确定");
  });
  ASSERT_TRUE(pumpUntil([] { return gtk_window_is_active(mainGtkWindow()); }, 3000));
  // With the pointer away from every window, focus moves only when asked to.
  ASSERT_EQ(std::system("xdotool mousemove 0 0"), 0);
  Recorder& sink = harness().sink;
  int activations = sink.activations;
  int deactivations = sink.deactivations;
  EXPECT_EQ(ui().messageBox("连续访问结束", "信息：", box::kOk), box::kResultOk);
  EXPECT_GE(answer.ticks, 5);
  // The box took the focus and, once answered, gave it back to the main window.
  EXPECT_EQ(sink.deactivations, deactivations + 1);
  EXPECT_TRUE(pumpUntil([] { return gtk_window_is_active(mainGtkWindow()); }, 3000));
  EXPECT_EQ(sink.activations, activations + 1);
  EXPECT_EQ(title, "信息：");
  EXPECT_TRUE(modal);
  EXPECT_TRUE(transient);
  EXPECT_EQ(buttonName, "确定");
  EXPECT_TRUE(openDialogs().empty());
}

TEST(MessageBox, ClosingCountsOnlyWhereTheBoxAllowsIt) {
  {
    Answerer answer([](int) {
      if (!onlyDialog()) return false;
      gtk_window_close(onlyDialog());  // the close button
      return true;
    });
    EXPECT_EQ(ui().messageBox("ok only", "", box::kOk | box::kIconInformation), box::kResultOk);
  }
  {
    Answerer answer([](int) {
      if (!onlyDialog()) return false;
      gtk_window_close(onlyDialog());
      return true;
    });
    EXPECT_EQ(ui().messageBox("retry?", "", box::kRetryCancel | box::kIconError),
              box::kResultCancel);
  }
  {
    bool stayedOpen = false;
    bool noCloseButton = false;
    Answerer answer([&](int tick) {
      GtkWindow* d = onlyDialog();
      if (!d) return false;
      if (tick < 8) {
        noCloseButton = !gtk_window_get_deletable(d);
        gtk_window_close(d);  // Esc and the close button both end up here
        return false;
      }
      stayedOpen = true;
      return press("否(N)");
    });
    EXPECT_EQ(ui().messageBox("该网址已经存在！是否继续添加？", "信息：", box::kYesNo),
              box::kResultNo);
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(noCloseButton);
  }
  {
    Answerer answer([](int) { return press("重试(R)"); });
    EXPECT_EQ(ui().messageBox("x", "", box::kAbortRetryIgnore | box::kIconWarning | 0x200),
              box::kResultRetry);
  }
  {
    Answerer answer([](int) { return press("是(Y)"); });
    EXPECT_EQ(ui().messageBox("x", "", box::kYesNoCancel | box::kIconQuestion), box::kResultYes);
  }
  EXPECT_EQ(ui().messageBox("no such buttons", "", 9), 0);
}

TEST(MessageBox, ABoxOverTheBrowserDoesNotSpoilItsPicture) {
  ASSERT_TRUE(loadPage(harness().server.url("/halves")));
  std::optional<Pixels> p;
  Answerer answer([&](int) {
    if (!onlyDialog() || !gtk_widget_get_mapped(GTK_WIDGET(onlyDialog()))) return false;
    p = ui().capture(harness().browser);
    return press("确定");
  });
  ui().messageBox(std::string(400, 'x'), "", box::kOk);
  ASSERT_TRUE(p);
  ASSERT_EQ(p->width, 672);
  EXPECT_TRUE(near(pixelAt(*p, 330, 284), 0xFF0000));
  EXPECT_TRUE(near(pixelAt(*p, 342, 284), 0x0000FF));
}

struct TempFolder {
  TempFolder() {
    char name[] = "/tmp/sorvane-dialogs.XXXXXX";
    path = mkdtemp(name);
  }
  ~TempFolder() { fs::remove_all(path); }
  std::string path;
};

TEST(FileDialog, SaveAddsTheDefaultExtensionAndEntersTheFolder) {
  TempFolder folder;
  FileDialogRequest save;
  save.save = true;
  save.initialDirectory = folder.path;
  save.defaultExtension = "*.txt";
  save.filters = {{"*.txt", "*.txt"}, {"all", "*.txt;*.*"}};
  save.filterIndex = 1;
  save.overwritePrompt = true;
  std::string filterName;
  Answerer answer([&](int) {
    GtkWindow* d = onlyDialog();
    if (!d) return false;
    auto* chooser = GTK_FILE_CHOOSER(d);
    if (GtkFileFilter* f = gtk_file_chooser_get_filter(chooser))
      filterName = gtk_file_filter_get_name(f);
    gtk_file_chooser_set_current_name(chooser, "网址");
    press("保存(S)");  // again at the next tick if the chooser was still busy
    return false;
  });
  auto chosen = ui().fileDialog(save);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, folder.path + "/网址.txt");
  EXPECT_EQ(filterName, "all");
  EXPECT_EQ(fs::current_path().string(), folder.path);
  fs::current_path(harness().home);
}

TEST(FileDialog, AnAppendedNameThatExistsIsAskedAboutAndOpenFindsIt) {
  TempFolder folder;
  std::ofstream(folder.path + "/list.txt") << "\r\nhttp://a.example/";
  FileDialogRequest save;
  save.save = true;
  save.fileName = folder.path + "/list";
  save.defaultExtension = "*.txt";
  save.overwritePrompt = true;
  save.keepCurrentDirectory = true;
  bool asked = false;
  Answerer answer([&](int) {
    auto dialogs = openDialogs();
    if (dialogs.size() == 2) {  // a question above the chooser
      // The toolkit lists its windows in no promised order. The question is
      // ours, or, where the chooser's entry completed "list" to the existing
      // "list.txt" once the folder was read, the chooser's own; both ask
      // before the file is replaced.
      for (GtkWindow* d : dialogs) {
        if (GtkWidget* yes = findButton(GTK_WIDGET(d), "是(Y)")) {
          asked = true;
          gtk_button_clicked(GTK_BUTTON(yes));
          return true;
        }
        if (GTK_IS_MESSAGE_DIALOG(d)) {
          asked = true;
          gtk_dialog_response(GTK_DIALOG(d), GTK_RESPONSE_ACCEPT);
          return true;
        }
      }
      return false;
    }
    if (dialogs.size() == 1) press("保存(S)");
    return false;
  });
  auto chosen = ui().fileDialog(save);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, folder.path + "/list.txt");
  EXPECT_TRUE(asked);
  EXPECT_EQ(fs::current_path().string(), harness().home);

  FileDialogRequest open;
  open.fileName = *chosen;
  open.fileMustExist = true;
  open.keepCurrentDirectory = true;
  std::optional<std::string> opened;
  {
    Answerer opener([](int tick) {
      if (tick > 3) press("打开(O)");
      return false;
    });
    opened = ui().fileDialog(open);
  }
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(*opened, folder.path + "/list.txt");

  Answerer canceller([](int) { return press("取消"); });
  EXPECT_FALSE(ui().fileDialog(open).has_value());
}

TEST(FolderPicker, GivesThePathWithoutATrailingSlashOrNothing) {
  TempFolder folder;
  fs::create_directory(folder.path + "/截图");
  std::string title;
  std::optional<std::string> chosen;
  {
    Answerer answer([&](int tick) {
      GtkWindow* d = onlyDialog();
      if (!d) return false;
      if (tick == 1) {
        title = gtk_window_get_title(d);
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(d), (folder.path + "/截图").c_str());
      } else if (tick > 4) {
        press("选择");
      }
      return false;
    });
    chosen = ui().browseForFolder("请选择保存截图的文件夹：", false);
  }
  EXPECT_EQ(chosen, folder.path + "/截图");
  EXPECT_EQ(title, "请选择保存截图的文件夹：");

  Answerer canceller([](int) { return press("取消"); });
  EXPECT_EQ(ui().browseForFolder("x", false), std::nullopt);
}

}  // namespace
}  // namespace sorvane::gtktest
