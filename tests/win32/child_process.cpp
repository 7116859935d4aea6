#include "child_process.h"

#include <fstream>
#include <vector>

#include "app/frame.h"
#include "harness.h"
#include "platform/win32/platform.h"
#include "program.h"

namespace sorvane::win32test {

namespace {

std::string utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  Pipe() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CreatePipe(&read, &write, &inherit, 0);
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  }
  ~Pipe() {
    if (read) CloseHandle(read);
    if (write) CloseHandle(write);
  }
  void closeWriteEnd() {
    CloseHandle(write);
    write = nullptr;
  }
  std::string drain() const {
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
    return all;
  }
};

}  // namespace

int runChild(const std::string& how, const std::string& notes) {
  OleInitialize(nullptr);
  auto platform = platform::win32::makeWin32Platform();
  if (!platform) return 3;
  if (how == "captions") return captionsChild(*platform, notes);
  if (how == "stream") {
    platform->writeStandardStream(StandardStream::Output, "out \xC4\xE3\xBA\xC3\r\n");  // 你好
    platform->writeStandardStream(StandardStream::Error, "err");
    platform->exitProcess(7);
  }
  if (how == "browser") {
    WidgetSpec top;
    top.kind = WidgetKind::TopLevel;
    top.rect = {0, 0, 200, 200};
    WidgetSpec view;
    view.kind = WidgetKind::Browser;
    view.parent = platform->createWidget(top);
    view.rect = {0, 0, 100, 100};
    return view.parent && platform->createWidget(view) ? 0 : 5;
  }
  app::Frame frame(*platform, programHandlers());
  bool fired = false;
  platform->startTimer(300, [&] {
    if (fired || !frame.mainWindowLoaded()) return;
    fired = true;
    if (how == "close") PostMessageW(hwndOf(frame.mainWindow()), WM_CLOSE, 0, 0);
    // An index below 1 is a fatal error with code 4.
    if (how == "fatal") frame.urlAt(0);
  });
  // The report is answered as a person would, once its words are noted.
  platform->startTimer(50, [&] {
    for (HWND w : threadWindows()) {
      if (platform->widgetExists(static_cast<WidgetId>(reinterpret_cast<std::uintptr_t>(w))) ||
          className(w) != L"#32770")
        continue;
      if (!notes.empty()) {
        std::ofstream out(notes, std::ios::binary);
        out << utf8(windowText(w)) << "\n" << utf8(staticTexts(w));
      }
      PostMessageW(w, WM_COMMAND, IDOK, 0);
    }
  });
  return frame.run();
}

ChildEnd runSelf(const std::string& how, const std::string& notes) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return runProgramFile(self, how, notes);
}

ChildEnd runProgramFile(const std::wstring& program, const std::string& how,
                        const std::string& notes) {
  const wchar_t* self = program.c_str();
  std::wstring command = L"\"" + program + L"\" --child " +
                         std::wstring(how.begin(), how.end()) + L" \"" +
                         std::wstring(notes.begin(), notes.end()) + L"\"";
  Pipe out, err;
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = nullptr;
  start.hStdOutput = out.write;
  start.hStdError = err.write;
  PROCESS_INFORMATION child{};
  ChildEnd end;
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &child))
    return end;
  out.closeWriteEnd();
  err.closeWriteEnd();
  end.finished = WaitForSingleObject(child.hProcess, 60000) == WAIT_OBJECT_0;
  if (!end.finished) TerminateProcess(child.hProcess, 99);
  GetExitCodeProcess(child.hProcess, &end.exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  end.output = out.drain();
  end.errors = err.drain();
  return end;
}

}  // namespace sorvane::win32test
