// Win32 backend: the run's progress on the taskbar button. Links ole32; the
// taskbar's object is asked for at the first call and kept.

#include "platform/win32/taskbar.h"

#include <shobjidl.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/win32/backend.h"

namespace sorvane::platform::win32 {

namespace {

BOOL CALLBACK collectMainWindow(HWND window, LPARAM list) {
  wchar_t name[64] = {};
  if (!GetClassNameW(window, name, 64) || std::wstring_view(name) != kMainClassName) return TRUE;
  return guarded(FALSE, [&] {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
  });
}

// The windows of our main class on this thread: the run's window, and any
// other frame the program made beside it.
std::vector<HWND> mainWindows() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), collectMainWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

TaskbarProgress::TaskbarProgress() = default;
TaskbarProgress::~TaskbarProgress() = default;

void TaskbarProgress::show(int done, int total) {
  if (!asked_) {
    asked_ = true;
    // Before Windows 7 the taskbar has no ITaskbarList3, and a desktop
    // without a taskbar (a shell of another kind) may have no list at all.
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(list_.put()))) ||
        FAILED(list_->HrInit()))
      list_.reset();
  }
  if (!list_) return;
  for (HWND window : mainWindows()) {
    // A button not yet made, or gone with a restarted shell, refuses the
    // call; the next page's call finds the new one.
    if (total <= 0) {
      list_->SetProgressState(window, TBPF_NOPROGRESS);
    } else {
      list_->SetProgressValue(window, static_cast<ULONGLONG>(std::clamp(done, 0, total)),
                              static_cast<ULONGLONG>(total));
    }
  }
}

}  // namespace sorvane::platform::win32
