// The open and save dialogs and the folder picker, answered as a person would
// from a timer that runs inside their modal loops.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness.h"
#include "platform/win32/services/text.h"
// These need <windows.h> first.
#include <commctrl.h>
#include <shlobj.h>

namespace sorvane::win32test {
namespace {

namespace fs = std::filesystem;
using platform::win32::fromWide;

bool isDialog(HWND w) { return className(w) == L"#32770"; }

// The file name box of the Explorer-style dialog: an edit of its own or the
// edit inside a combo box, depending on the system.
HWND fileNameBox(HWND dialog) {
  if (HWND combo = GetDlgItem(dialog, 0x47C)) {
    if (HWND edit = FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
  }
  if (HWND edit = GetDlgItem(dialog, 0x480)) return edit;
  return findChild(dialog, L"Edit");
}

// The name of the folder selected in the picker's tree.
std::wstring selectedName(HWND picker) {
  HWND tree = findChild(picker, L"SysTreeView32");
  auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
  if (!item) return {};
  wchar_t name[MAX_PATH] = {};
  TVITEMW read{};
  read.mask = TVIF_TEXT;
  read.hItem = item;
  read.pszText = name;
  read.cchTextMax = MAX_PATH;
  SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read));
  return name;
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    WidgetSpec top;
    top.kind = WidgetKind::TopLevel;
    top.rect = {0, 0, 400, 300};
    top.text = "dialogs";
    top.visible = true;
    window_ = ui().createWidget(top);
    ASSERT_NE(window_, 0u);
    startFolder_ = fs::current_path();
    folder_ = fs::temp_directory_path() / "sorvane-dialogs";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    ui().destroyWidget(window_);
    // A confirmed dialog makes the chosen file's folder the current one.
    fs::current_path(startFolder_);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
  std::wstring folder() const { return folder_.wstring(); }
  std::string folderBytes() const { return fromWide(folder()); }

  // Shows the dialog; the answer types `name` into its name box and confirms,
  // or cancels when `name` is empty.
  std::optional<std::string> answerFileDialog(const FileDialogRequest& request,
                                              const std::wstring& name) {
    seeded_.clear();
    ownerEnabled_ = true;
    DialogWatcher answer([&](HWND dialog) {
      HWND box = isDialog(dialog) ? fileNameBox(dialog) : nullptr;
      if (!box) return false;
      seeded_ = windowText(box);
      title_ = windowText(dialog);
      ownerEnabled_ = IsWindowEnabled(hwndOf(window_));
      if (name.empty()) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      } else {
        SetWindowTextW(box, name.c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      }
      return true;
    });
    auto chosen = ui().fileDialog(request);
    EXPECT_TRUE(answer.done()) << "no dialog showed";
    return chosen;
  }

  WidgetId window_ = 0;
  fs::path startFolder_;
  fs::path folder_;
  std::wstring seeded_;
  std::wstring title_;
  bool ownerEnabled_ = true;
};

TEST_F(Dialogs, SaveAndOpenGiveTheChosenPathCancelGivesNothing) {
  FileDialogRequest save;
  save.save = true;
  save.fileName = "\xC3\xFB\xB5\xA5";  // 名单
  save.title = "\xB5\xBC\xB3\xF6";     // 导出
  save.filters = {{"*.txt", "*.txt"}};
  save.filterIndex = 0;
  save.defaultExtension = "*.txt";
  save.overwritePrompt = true;
  save.pathMustExist = true;
  save.owner = window_;
  // A name typed without an extension gets the default one.
  auto saved = answerFileDialog(save, folder() + L"\\保存");
  EXPECT_EQ(seeded_, L"名单");
  EXPECT_EQ(title_, L"导出");
  EXPECT_FALSE(ownerEnabled_);
  EXPECT_TRUE(IsWindowEnabled(hwndOf(window_)));
  ASSERT_TRUE(saved.has_value());
  EXPECT_EQ(*saved, folderBytes() + "\\\xB1\xA3\xB4\xE6.txt");

  std::ofstream(folder_ / L"保存.txt") << "x";
  FileDialogRequest open = save;
  open.save = false;
  open.title.clear();
  open.fileName = *saved;
  open.fileMustExist = true;
  open.overwritePrompt = false;
  EXPECT_EQ(answerFileDialog(open, folder() + L"\\保存.txt"), saved);

  EXPECT_EQ(answerFileDialog(open, L""), std::nullopt);
}

TEST_F(Dialogs, APathTheCodePageCannotSpellIsNoChoice) {
  // Thai has no place in the Chinese code page.
  std::ofstream(folder_ / L"\u0E01.txt") << "x";
  FileDialogRequest open;
  open.filters = {{"*.txt", "*.txt"}};
  open.filterIndex = 0;
  open.fileMustExist = true;
  open.owner = window_;
  EXPECT_EQ(answerFileDialog(open, folder() + L"\\\u0E01.txt"), std::nullopt);
}

TEST_F(Dialogs, FolderPickerGivesTheFolderAndHandsTheDesktopBack) {
  SetForegroundWindow(hwndOf(window_));
  pumpUntil([this] { return GetActiveWindow() == hwndOf(window_); });
  fs::create_directories(folder_ / L"图片");
  fs::create_directories(folder_ / L"\u0E01");

  HWND owner = nullptr;
  auto pick = [&](const std::wstring& path, std::wstring* prompt = nullptr,
                  bool* mainEnabled = nullptr) {
    DialogWatcher answer([&](HWND dialog) {
      if (!isDialog(dialog) || !findChild(dialog, L"SysTreeView32")) return false;
      owner = GetWindow(dialog, GW_OWNER);
      if (prompt) *prompt = staticTexts(dialog);
      if (mainEnabled) *mainEnabled = IsWindowEnabled(hwndOf(window_));
      if (path.empty()) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        return true;
      }
      // The tree fills itself while the picker comes up and may select its
      // own start afterwards: choose until the choice holds.
      SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
      if (selectedName(dialog) != fs::path(path).filename().wstring()) return false;
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);
      return true;
    });
    std::string chosen = ui().browseForFolder("\xC7\xEB\xD1\xA1\xD4\xF1", false).value_or("");  // 请选择
    EXPECT_TRUE(answer.done()) << "no folder picker showed";
    return chosen;
  };

  std::wstring prompt;
  bool mainEnabled = true;
  EXPECT_EQ(pick(folder() + L"\\图片", &prompt, &mainEnabled),
            folderBytes() + "\\\xCD\xBC\xC6\xAC");
  EXPECT_NE(prompt.find(L"请选择"), std::wstring::npos) << fromWide(prompt);
  EXPECT_FALSE(mainEnabled);
  EXPECT_TRUE(IsWindowEnabled(hwndOf(window_)));
  // The main window owns the picker, so the system gives it the activation
  // back as the picker goes.
  EXPECT_EQ(owner, hwndOf(window_));
  EXPECT_TRUE(pumpUntil([this] {
    return GetActiveWindow() == hwndOf(window_) && GetForegroundWindow() == hwndOf(window_);
  }));

  EXPECT_EQ(pick(L""), "");
  EXPECT_EQ(pick(folder() + L"\\\u0E01"), "");
  EXPECT_TRUE(IsWindowEnabled(hwndOf(window_)));
}

}  // namespace
}  // namespace sorvane::win32test
