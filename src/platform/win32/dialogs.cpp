// Win32 backend: the message box, the open and save dialogs and the folder
// picker. Each runs the system's own modal loop, which goes on dispatching
// the timers' messages while the main window takes no input.
// Links comdlg32, shell32, ole32.

#include <algorithm>
#include <array>
#include <vector>

#include "platform/win32/backend.h"
// These need <windows.h> first.
#include <commdlg.h>
#include <shlobj.h>

#include "platform/win32/services/text.h"

namespace sorvane::platform::win32 {

namespace {

struct ItemDeleter {
  void operator()(ITEMIDLIST* item) const noexcept { CoTaskMemFree(item); }
};
using OwnedItem = std::unique_ptr<ITEMIDLIST, ItemDeleter>;

// The system dialog appends its default extension to a name typed without
// one, and wants it without a dot. The program's layout gives a pattern
// ("*.txt"), which appended as it stands would make a name no file system
// accepts; "*.txt", ".txt" and "txt" all mean "txt", and anything still
// holding a wildcard or a separator means none.
std::wstring extensionToAppend(const std::string& defaultExtension) {
  std::wstring ext = toWide(defaultExtension);
  const auto first = ext.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return {};
  ext = ext.substr(first, ext.find_last_not_of(L" \t") - first + 1);
  while (!ext.empty() && (ext.front() == L'*' || ext.front() == L'.')) ext.erase(ext.begin());
  if (ext.find_first_of(L"*?;/\\:|\"<>") != std::wstring::npos) return {};
  return ext;
}

struct HeldWindow {
  HWND hwnd;
  bool enabled;
};

BOOL CALLBACK holdTopLevel(HWND hwnd, LPARAM data) {
  auto* held = reinterpret_cast<std::vector<HeldWindow>*>(data);
  held->push_back({hwnd, IsWindowEnabled(hwnd) != FALSE});
  return TRUE;
}

}  // namespace

int Win32Platform::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
  UINT style = flags;
  // No owner: task modality is what keeps the main window from taking input.
  if (!(style & MB_SYSTEMMODAL)) style |= MB_TASKMODAL;
  const int pressed = MessageBoxW(nullptr, toWide(text).c_str(), toWide(caption).c_str(), style);
  // A box with only OK can only say OK, however it was closed (some systems
  // report its close box as Cancel).
  if ((flags & box::kButtonsMask) == box::kOk) return box::kResultOk;
  return pressed > 0 ? pressed - 1 : 0;
}

std::optional<std::string> Win32Platform::fileDialog(const FileDialogRequest& request) {
  // Description and pattern, each closed by a zero, and an empty pair at the end.
  std::wstring filters;
  for (const auto& [description, pattern] : request.filters) {
    filters += toWide(description);
    filters.push_back(L'\0');
    filters += toWide(pattern);
    filters.push_back(L'\0');
  }
  if (!filters.empty()) filters.push_back(L'\0');

  // Room for the longest path the system has (and the whole seed however
  // long): a long choice must not come back as a cancel.
  const std::wstring seed = toWide(request.fileName);
  std::vector<wchar_t> file(std::max<std::size_t>(seed.size() + 1, 32768), L'\0');
  std::copy(seed.begin(), seed.end(), file.begin());
  const std::wstring title = toWide(request.title);
  const std::wstring folder = toWide(request.initialDirectory);
  const std::wstring extension = extensionToAppend(request.defaultExtension);

  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  // The owner is disabled by the dialog while it is open.
  const Widget* owner = find(request.owner);
  dialog.hwndOwner = owner ? owner->hwnd : nullptr;
  dialog.lpstrFilter = filters.empty() ? nullptr : filters.c_str();
  dialog.nFilterIndex =
      filters.empty() ? 0 : static_cast<DWORD>(std::max(request.filterIndex, 0) + 1);
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
  dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
  if (request.createPrompt) dialog.Flags |= OFN_CREATEPROMPT;
  if (request.fileMustExist) dialog.Flags |= OFN_FILEMUSTEXIST;
  if (request.overwritePrompt) dialog.Flags |= OFN_OVERWRITEPROMPT;
  if (request.pathMustExist) dialog.Flags |= OFN_PATHMUSTEXIST;
  if (request.keepCurrentDirectory) dialog.Flags |= OFN_NOCHANGEDIR;

  const BOOL confirmed = request.save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
  if (!confirmed) return std::nullopt;
  // A path the program's code page cannot spell would name some other file.
  return fromWideExact(std::wstring_view(file.data()));
}

std::optional<std::string> Win32Platform::browseForFolder(const std::string& prompt,
                                                         bool includeFiles) {
  HWND active = GetActiveWindow();
  // The picker's owner is the program's main window: the active one when it
  // is ours, else the first window of ours on show. The picker disables its
  // owner itself and enables it again before it goes, so that the system
  // hands the activation back to it; an owner still disabled then would
  // send it to another program, and taking it back is refused.
  HWND owner = nullptr;
  for (WidgetId id : widgets_.roots()) {
    const Widget* w = find(id);
    if (!w || w->kind != WidgetKind::TopLevel) continue;
    if (w->hwnd == active) {
      owner = w->hwnd;
      break;
    }
    if (!owner && IsWindowVisible(w->hwnd)) owner = w->hwnd;
  }
  // Every other top-level window of the program takes no input meanwhile.
  std::vector<HeldWindow> held;
  EnumThreadWindows(GetCurrentThreadId(), holdTopLevel, reinterpret_cast<LPARAM>(&held));
  std::erase_if(held, [owner](const HeldWindow& h) { return h.hwnd == owner; });
  for (const HeldWindow& h : held) EnableWindow(h.hwnd, FALSE);

  std::array<wchar_t, MAX_PATH> displayName{};
  const std::wstring title = toWide(prompt);
  BROWSEINFOW picker{};
  picker.hwndOwner = owner;
  picker.pszDisplayName = displayName.data();
  picker.lpszTitle = title.c_str();
  picker.ulFlags = BIF_EDITBOX | (includeFiles ? BIF_BROWSEINCLUDEFILES : 0);
  OwnedItem chosen(SHBrowseForFolderW(&picker));

  for (const HeldWindow& h : held)
    if (IsWindow(h.hwnd)) EnableWindow(h.hwnd, h.enabled);

  if (!chosen) return std::nullopt;
  std::array<wchar_t, MAX_PATH> path{};
  // A virtual place (the computer, the control panel) has no path.
  if (!SHGetPathFromIDListW(chosen.get(), path.data())) return std::nullopt;
  return fromWideExact(std::wstring_view(path.data()));
}

}  // namespace sorvane::platform::win32
