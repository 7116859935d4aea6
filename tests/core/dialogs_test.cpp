// The message box rules and the folder picker, against a platform that only
// records what it was asked; and the file dialog's filter list.

#include <gtest/gtest.h>

#include <stdexcept>

#include "app/dialogs.h"

namespace sorvane {
namespace {

using platform::WidgetId;

// Answers boxes from a script and remembers the last request.
class RecordingPlatform final : public platform::Dialogs {
 public:
  int boxAnswer = 0;
  std::string boxText, boxCaption;
  unsigned boxFlags = 0;
  int boxes = 0;
  std::optional<std::string> folderAnswer;
  std::string folderPrompt;
  bool folderIncludeFiles = false;

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    ++boxes;
    boxText = text;
    boxCaption = caption;
    boxFlags = flags;
    return boxAnswer;
  }
  std::optional<std::string> browseForFolder(const std::string& prompt,
                                             bool includeFiles) override {
    folderPrompt = prompt;
    folderIncludeFiles = includeFiles;
    return folderAnswer;
  }
  std::optional<std::string> fileDialog(const platform::FileDialogRequest&) override {
    return std::nullopt;
  }
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
  platform_.folderAnswer.reset();  // cancelled: the program knows it as an empty path
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
