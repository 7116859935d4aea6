// The address list: urlArray is the authoritative list, 列表框1 shows it item
// for item (item k is entry k + 1).

#include "urllist/urllist_handlers.h"

#include "app/dialogs.h"
#include "services/conversions.h"
#include "services/files.h"
#include "services/own_text.h"
#include "urllist/list_file.h"

namespace sorvane::urllist {

using app::Frame;
namespace prop = app::prop;

namespace {

constexpr std::int32_t kYesNo = 4;
constexpr std::int32_t kYes = 5;
constexpr std::int32_t kOpenFile = 0;
constexpr std::int32_t kSaveFile = 1;

std::int32_t entryCount(Frame& frame) {
  return static_cast<std::int32_t>(frame.vars().urlArray.size());
}

}  // namespace

bool urlAlreadyListed(Frame& frame, const Text& url) {
  for (std::int32_t i = 1; i <= entryCount(frame); ++i) {
    if (frame.urlAt(i) == url) return true;
  }
  return false;
}

void refreshUrlListBox(Frame& frame, const ListSized& listSized) {
  app::Control& list = frame.control("列表框1");
  frame.clear(list);
  for (std::int32_t i = 1; i <= entryCount(frame); ++i) frame.addItem(list, frame.urlAt(i));
  // A run in progress picks up the new size.
  if (listSized) listSized(entryCount(frame));
}

void addUrl(Frame& frame, const ListSized& listSized) {
  app::Control& input = frame.control("编辑框2");
  // Only the emptiness test ignores spaces; the entry keeps them.
  if (removeAllSpaces(frame.readText(input, prop::editBox::content)).empty()) return;
  TextArray& urls = frame.vars().urlArray;
  if (urlAlreadyListed(frame, frame.readText(input, prop::editBox::content))) {
    // Run steps go on while the question is open; the list changes only after.
    if (messageBox(ownText("该网址已经存在！是否继续添加？"), kYesNo) == kYes)
      urls.push_back(frame.readText(input, prop::editBox::content));
  } else {
    urls.push_back(frame.readText(input, prop::editBox::content));
  }
  refreshUrlListBox(frame, listSized);
}

void deleteUrl(Frame& frame) {
  app::Control& list = frame.control("列表框1");
  TextArray& urls = frame.vars().urlArray;
  const std::int32_t selected = frame.readInt(list, prop::listBox::currentSelection);
  if (selected >= 0 && selected < entryCount(frame)) urls.erase(urls.begin() + selected);
  frame.deleteItem(list, frame.readInt(list, prop::listBox::currentSelection));
}

void clearUrlList(Frame& frame) {
  frame.clear(frame.control("列表框1"));
  frame.writeText(frame.control("编辑框2"), prop::editBox::content, Text());
  TextArray().swap(frame.vars().urlArray);
  // The run's length and place stay as they are; the run halts (bound beside
  // this handler where the program is put together).
}

void exportUrlList(Frame& frame) {
  if (entryCount(frame) == 0) {
    messageBox(ownText("网址列表不可为空！"), 0);
    return;
  }
  app::Control& dialog = frame.control("通用对话框1");
  frame.writeInt(dialog, prop::commonDlg::type, kSaveFile);
  if (!frame.openDialog(dialog)) return;
  app::Control& list = frame.control("列表框1");
  TextArray shown;
  for (std::int32_t k = 1; k <= entryCount(frame); ++k)
    shown.push_back(frame.getItemText(list, k - 1));
  const bool saved =
      writeFile(frame.readText(dialog, prop::commonDlg::fileName), encodeListFile(shown));
  messageBox(ownText(saved ? "保存成功！" : "保存失败！"), 0);
}

void importUrlList(Frame& frame, const ListSized& listSized) {
  app::Control& dialog = frame.control("通用对话框1");
  frame.writeInt(dialog, prop::commonDlg::type, kOpenFile);
  if (!frame.openDialog(dialog)) return;
  // A file that cannot be read leaves the list as it was.
  std::optional<ByteSet> bytes = readFileChecked(frame.readText(dialog, prop::commonDlg::fileName));
  if (!bytes) {
    messageBox(ownText("导入失败！"), 0);
    return;
  }
  frame.vars().urlArray = decodeListFile(*bytes);
  refreshUrlListBox(frame, listSized);
}

void addHandlers(app::HandlerTable& table, ListSized listSized) {
  table.emplace("addUrl", [listSized](Frame& frame) { addUrl(frame, listSized); });
  table.emplace("deleteUrl", &deleteUrl);
  table.emplace("clearUrlList", &clearUrlList);
  table.emplace("exportUrlList", &exportUrlList);
  table.emplace("importUrlList",
                [listSized](Frame& frame) { importUrlList(frame, listSized); });
}

}  // namespace sorvane::urllist
