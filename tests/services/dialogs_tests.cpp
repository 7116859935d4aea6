// The message box rules and the folder picker, against a platform that only
// records what it was asked; and the file dialog's filter list.

#include <gtest/gtest.h>

#include <stdexcept>

#include "services/dialogs.h"

namespace sorvane {
namespace {

using platform::WidgetId;

// Answers boxes from a script and remembers the last request. Everything else
// a test here must not reach.
class RecordingPlatform final : public platform::Platform {
 public:
  int boxAnswer = 0;
  std::string boxText, boxCaption;
  unsigned boxFlags = 0;
  int boxes = 0;
  std::string folderAnswer, folderPrompt;
  bool folderIncludeFiles = false;

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    ++boxes;
    boxText = text;
    boxCaption = caption;
    boxFlags = flags;
    return boxAnswer;
  }
  std::string browseForFolder(const std::string& prompt, bool includeFiles) override {
    folderPrompt = prompt;
    folderIncludeFiles = includeFiles;
    return folderAnswer;
  }

  [[noreturn]] static void unused() { throw std::logic_error("not part of this test"); }
  void setEventSink(platform::EventSink*) override { unused(); }
  WidgetId createWidget(const platform::WidgetSpec&) override { unused(); }
  void destroyWidget(WidgetId) override { unused(); }
  bool widgetExists(WidgetId) const override { unused(); }
  void setParent(WidgetId, WidgetId) override { unused(); }
  void setVisible(WidgetId, bool) override { unused(); }
  bool isVisible(WidgetId) const override { unused(); }
  void setEnabled(WidgetId, bool) override { unused(); }
  bool isEnabled(WidgetId) const override { unused(); }
  platform::Rect widgetRect(WidgetId) const override { unused(); }
  void setText(WidgetId, const std::string&) override { unused(); }
  std::string text(WidgetId) const override { unused(); }
  void setChecked(WidgetId, bool) override { unused(); }
  bool isChecked(WidgetId) const override { unused(); }
  int listAdd(WidgetId, const std::string&) override { unused(); }
  bool listDelete(WidgetId, int) override { unused(); }
  void listClear(WidgetId) override { unused(); }
  int listCount(WidgetId) const override { unused(); }
  std::string listItem(WidgetId, int) const override { unused(); }
  int listSelection(WidgetId) const override { unused(); }
  WidgetId focusedWidget() const override { unused(); }
  void setFocus(WidgetId) override { unused(); }
  void browserNavigate(WidgetId, const std::string&) override { unused(); }
  bool browserBusy(WidgetId) const override { unused(); }
  void browserStop(WidgetId) override { unused(); }
  void browserEndPage(WidgetId) override { unused(); }
  platform::PageShows browserShows(WidgetId) const override { unused(); }
  void browserShowBlank(WidgetId) override { unused(); }
  void keepAwake(bool) override { unused(); }
  bool capture(WidgetId, platform::Pixels&) override { unused(); }
  platform::TimerId startTimer(int, std::function<void()>) override { unused(); }
  void stopTimer(platform::TimerId) override { unused(); }
  platform::LocalTime localTimeNow() const override { unused(); }
  std::int64_t monotonicMs() const override { unused(); }
  std::optional<std::string> fileDialog(const platform::FileDialogRequest&) override { unused(); }
  void runLoop() override { unused(); }
  void quitLoop() override { unused(); }
  void whenIdle(std::function<void()>) override { unused(); }
  void writeStandardStream(platform::StandardStream, const std::string&) override { unused(); }
  [[noreturn]] void exitProcess(int) override { unused(); }
};

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override { setServicePlatform(&platform_); }
  void TearDown() override { setServicePlatform(nullptr); }
  RecordingPlatform platform_;
};

TEST_F(Dialogs, MessageBoxIsTaskModalWithTheDefaultCaption) {
  EXPECT_EQ(messageBox(Text("请输入网址！")), 0);
  EXPECT_EQ(platform_.boxText, "请输入网址！");
  EXPECT_EQ(platform_.boxCaption, "信息：");
  EXPECT_EQ(platform_.boxFlags, 0x2000u);
  EXPECT_EQ(&servicePlatform(), &platform_);
}

TEST_F(Dialogs, MessageBoxFlagsAndAnswers) {
  platform_.boxAnswer = platform::box::kResultYes;
  EXPECT_EQ(messageBox(Text("该网址已经存在！是否继续添加？"), 4), 5);
  EXPECT_EQ(platform_.boxFlags, 0x2004u);
  platform_.boxAnswer = platform::box::kResultNo;
  EXPECT_EQ(messageBox(Text("?"), 4 | 0x20 | 0x100), 6);
  EXPECT_EQ(platform_.boxFlags, 0x2124u);
  messageBox(Text("?"), 0x1000 | 1);  // system modal goes through unchanged
  EXPECT_EQ(platform_.boxFlags, 0x1001u);
  messageBox(Text("?"), 0x2000 | 3);
  EXPECT_EQ(platform_.boxFlags, 0x2003u);
}

TEST_F(Dialogs, MessageBoxPassesBytesAndTitleUnchanged) {
  // Texts are in the system code page already; nothing is converted here.
  messageBox(Text("\xD6\xD0 \xFF"), 0, Text("错误"));
  EXPECT_EQ(platform_.boxText, "\xD6\xD0 \xFF");
  EXPECT_EQ(platform_.boxCaption, "错误");
  messageBox(Text(), 0, Text());
  EXPECT_EQ(platform_.boxText, "");
  EXPECT_EQ(platform_.boxCaption, "");
}

TEST_F(Dialogs, BrowseForFolderForwards) {
  platform_.folderAnswer = "/home/用户/截图";
  EXPECT_EQ(browseForFolder(Text("请选择保存截图的文件夹：")), Text("/home/用户/截图"));
  EXPECT_EQ(platform_.folderPrompt, "请选择保存截图的文件夹：");
  EXPECT_FALSE(platform_.folderIncludeFiles);
  platform_.folderAnswer.clear();
  EXPECT_EQ(browseForFolder(Text("x"), true), Text());
  EXPECT_TRUE(platform_.folderIncludeFiles);
}

TEST(DialogsWithoutPlatform, ShowNothingAndGiveNeutralResults) {
  setServicePlatform(nullptr);
  EXPECT_EQ(messageBox(Text("x"), 4), 0);
  EXPECT_EQ(browseForFolder(Text("x")), Text());
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(FilterList, PairsUpToTheEmptyDescription) {
  EXPECT_EQ(parseFilterList(Text("*.txt|*.txt")), (Pairs{{"*.txt", "*.txt"}}));
  EXPECT_EQ(parseFilterList(Text("*.txt|*.txt||")), (Pairs{{"*.txt", "*.txt"}}));
  EXPECT_EQ(parseFilterList(Text("*.txt|*.txt \t\r\n")), (Pairs{{"*.txt", "*.txt"}}));
  EXPECT_EQ(parseFilterList(Text("文本文件|*.txt;*.text|所有文件|*.*")),
            (Pairs{{"文本文件", "*.txt;*.text"}, {"所有文件", "*.*"}}));
  EXPECT_EQ(parseFilterList(Text("a|b|")), (Pairs{{"a", "b"}}));
  EXPECT_EQ(parseFilterList(Text("a|b|c")), (Pairs{{"a", "b"}, {"c", ""}}));
  EXPECT_EQ(parseFilterList(Text("a||b|c")), (Pairs{{"a", ""}, {"b", "c"}}));
  EXPECT_EQ(parseFilterList(Text("a|b|||c|d")), (Pairs{{"a", "b"}}));
  EXPECT_EQ(parseFilterList(Text(" a | b ")), (Pairs{{" a ", " b"}}));
  EXPECT_TRUE(parseFilterList(Text()).empty());
  EXPECT_TRUE(parseFilterList(Text(" \t")).empty());
  EXPECT_TRUE(parseFilterList(Text("|x")).empty());
}

}  // namespace
}  // namespace sorvane
