#pragma once
// Win32 backend: how far a run has come, on the taskbar buttons of the
// program's windows (Windows 7 and later).

#include <windows.h>

#include "platform/win32/services/com_ptr.h"

struct ITaskbarList3;

namespace sorvane::platform::win32 {

class TaskbarProgress {
 public:
  TaskbarProgress();
  ~TaskbarProgress();
  TaskbarProgress(const TaskbarProgress&) = delete;
  TaskbarProgress& operator=(const TaskbarProgress&) = delete;

  // `done` of `total` on the button of every main window of this thread;
  // a total of 0 or less takes the progress off. Nothing where the system
  // has no such buttons.
  void show(int done, int total);

 private:
  ComPtr<ITaskbarList3> list_;
  bool asked_ = false;  // the taskbar was asked for once, found or not
};

}  // namespace sorvane::platform::win32
