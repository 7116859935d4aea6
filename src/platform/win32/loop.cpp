// Win32 backend: the message loop, timers, idle work, clocks, the standard
// streams and the hard exit.

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "platform/win32/backend.h"
#include "platform/win32/platform.h"
#include "platform/win32/services/text.h"

namespace sorvane::platform::win32 {

namespace {

Key keyOf(WPARAM virtualKey) {
  switch (virtualKey) {
    case VK_TAB:
      return Key::Tab;
    case VK_RETURN:
      return Key::Enter;
    case VK_ESCAPE:
      return Key::Escape;
    case VK_F1:
      return Key::F1;
    default:
      return Key::Other;
  }
}

}  // namespace

std::optional<std::uintptr_t> Win32Platform::armTimer(TimerId id, int periodMs) {
  // A window timer counts its first period from now and re-arms after each
  // tick; its messages come through every loop, the modal ones included.
  if (!timerWindow_ || !SetTimer(timerWindow_.get(), id, static_cast<UINT>(periodMs), nullptr))
    return std::nullopt;
  return id;
}

void Win32Platform::disarmTimer(TimerId id, std::uintptr_t) { KillTimer(timerWindow_.get(), id); }

LocalTime Win32Platform::localTimeNow() const {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

// Without the time the computer slept: a run's deadlines and a worker's
// silence are of time the program could have run in.
std::int64_t Win32Platform::monotonicMs() const {
  ULONGLONG hundredsOfNs = 0;
  QueryUnbiasedInterruptTime(&hundredsOfNs);
  return static_cast<std::int64_t>(hundredsOfNs / 10000);
}

bool Win32Platform::offerKeyMessage(const MSG& msg) {
  if ((msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) || !msg.hwnd || !reporting())
    return false;
  // Keys for the main window or any of its children, however deep.
  const WidgetId window = idOf(GetAncestor(msg.hwnd, GA_ROOT));
  const Widget* top = find(window);
  if (!top || top->kind != WidgetKind::TopLevel) return false;
  unsigned modifiers = kNone;
  if (GetKeyState(VK_SHIFT) < 0) modifiers |= kShift;
  if (GetKeyState(VK_CONTROL) < 0) modifiers |= kControl;
  if (GetKeyState(VK_MENU) < 0 || (msg.message == WM_SYSKEYDOWN && (msg.lParam & (1 << 29))))
    modifiers |= kAlt;
  const Key key = keyOf(msg.wParam);
  return offerKey(window, key, modifiers);
}

void Win32Platform::runLoop() {
  ++loopDepth_;
  MSG msg;
  for (;;) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!idle_.empty()) {
        runIdleWork();
        continue;
      }
      // Wakes for input that was already looked at, too.
      MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
      continue;
    }
    if (msg.message == WM_QUIT) break;
    // The program sees every key first (the tab cycle and Esc are its own);
    // there is no dialog manager between it and the controls.
    if (offerKeyMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  --loopDepth_;
}

// A quit asked for before the loop runs ends it at once: the quit message
// waits in the queue until the loop takes it.
void Win32Platform::quitLoop() { PostQuitMessage(0); }

void Win32Platform::whenIdle(std::function<void()> work) {
  if (work) idle_.push_back(std::move(work));
}

void Win32Platform::runIdleWork() {
  std::vector<std::function<void()>> now;
  now.swap(idle_);  // work added meanwhile waits for the next quiet moment
  for (auto& work : now)
    guarded(0, [&] {
      work();
      return 0;
    });
}

void Win32Platform::lookUpStreams() {
  if (streamsLookedUp_) return;
  streamsLookedUp_ = true;
  HANDLE given[2] = {GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
  bool missing = false;
  for (int i = 0; i < 2; ++i) {
    if (given[i] == INVALID_HANDLE_VALUE) given[i] = nullptr;
    streams_[i] = given[i];
    if (!given[i]) missing = true;
  }
  // A GUI program started from a console gets no streams of its own; the
  // console it was started from takes what was not redirected elsewhere.
  if (missing && AttachConsole(ATTACH_PARENT_PROCESS)) {
    console_.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    if (console_.get() == INVALID_HANDLE_VALUE) console_.release();
    for (HANDLE& s : streams_)
      if (!s) s = console_.get();
  }
}

bool Win32Platform::standardErrorReaches() {
  lookUpStreams();
  return streams_[1] != nullptr;
}

void Win32Platform::writeStandardStream(StandardStream stream, const std::string& text) {
  lookUpStreams();
  HANDLE out = streams_[stream == StandardStream::Output ? 0 : 1];
  if (!out || text.empty()) return;
  DWORD mode = 0;
  if (GetConsoleMode(out, &mode)) {
    // A console shows UTF-16 whatever its own code page.
    const std::wstring wide = toWide(text);
    DWORD written = 0;
    for (std::size_t at = 0; at < wide.size(); at += written) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 8192));
      if (!WriteConsoleW(out, wide.data() + at, chunk, &written, nullptr) || written == 0) return;
    }
    return;
  }
  // Redirected: the bytes as they are, in the program's code page.
  DWORD written = 0;
  for (std::size_t at = 0; at < text.size(); at += written) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 1 << 20));
    if (!WriteFile(out, text.data() + at, chunk, &written, nullptr) || written == 0) return;
  }
}

namespace {

// The C runtime's own abort shows a box ("abnormal program termination")
// and ends with 3, which reads as a closed window. Nothing is cleaned up
// after an abort: the process ends here, with a code that says so.
extern "C" void endAborted(int) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(kAbortExitCode));
}

}  // namespace

void prepareProcess() {
  // No box of the system's may hold an unattended run: a folder on a drive
  // with no disk fails as a missing one, and a crash ends the process at
  // once rather than behind the error report's dialog. Children inherit it.
  SetErrorMode(SetErrorMode(0) | SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  std::signal(SIGABRT, endAborted);
}

void Win32Platform::exitProcess(int code) {
  // Its job and its pipe would end it too, a moment after us.
  if (engine::Browser* browser = pageEngine()) browser->connection().close();
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(code));
}

}  // namespace sorvane::platform::win32
