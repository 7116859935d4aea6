#include "child_process.h"

#include <ole2.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <utility>
#include <vector>

#include "app/frame.h"
#include "harness.h"
#include "cli/options.h"
#include "cli/unattended.h"
#include "platform/win32/browser.h"
#include "platform/win32/browser_site.h"
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

// Holds the file until the parent closes this process's standard input.
int holdForParent(const std::string& name) {
  const int size = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
  std::wstring path(static_cast<std::size_t>(std::max(size, 1)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, path.data(), size);
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 4;
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &done, nullptr);
  char c = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &done, nullptr) && done > 0) {
  }
  CloseHandle(file);
  return 0;
}

void noteLine(const std::string& line) {
  const std::string text = line + "\n";
  DWORD done = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &done,
            nullptr);
}

// The program as main starts it, with the arguments `joined` at '|'. Notes on
// standard output (UTF-8) each box it shows ("box " and its words), answered,
// and the list's entries once the window is up ("list " and the entry), and
// then closes the window.
int startAsMainDoes(const std::string& joined) {
  std::vector<std::string> arguments;
  for (std::size_t start = 0; start <= joined.size();) {
    const std::size_t bar = std::min(joined.find('|', start), joined.size());
    arguments.push_back(joined.substr(start, bar - start));
    start = bar + 1;
  }
  const cli::CommandLine line = cli::readCommandLine(arguments);
  auto platform = platform::win32::makeWin32Platform();
  if (!platform) return 3;
  bool listed = false;
  platform->startTimer(50, [&] {
    for (HWND w : threadWindows()) {
      if (className(w) == L"#32770") {
        noteLine("box " + utf8(staticTexts(w)));
        PostMessageW(w, WM_COMMAND, IDOK, 0);
        return;
      }
    }
    for (HWND w : threadWindows()) {
      if (listed || className(w) != L"SorvaneMainWindow") continue;
      listed = true;
      const HWND list = findChild(w, L"ListBox");
      const auto count = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, i, 0)), L'\0');
        SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        noteLine("list " + utf8(item));
      }
      PostMessageW(w, WM_CLOSE, 0, 0);
    }
  });
  if (line.exitNow && !line.standardError.empty())
    platform::win32::showStartProblem(*platform, line.standardError.bytes());
  return runProgram(*platform, line);
}

// A worker that meets `fault` at the address `at` of the whole list: frozen
// right after the record took its row, its control in a box of its own for
// good, or aborted.
struct FaultyObserver final : run::RunObserver {
  run::RunObserver* run;
  std::string fault;
  int at, index;
  void pageLoading(app::Frame& frame, const Text& url) override {
    run->pageLoading(frame, url);
    if (++index == at && fault == "abort") std::abort();
    IOleInPlaceFrame* box = nullptr;
    auto* host = platform::win32::browserHostOfView(hwndOf(frame.control("互联网浏览器1").widget));
    if (index == at && fault == "modal" && host &&
        SUCCEEDED(platform::win32::browserHostSite(*host)->QueryInterface(
            IID_IOleInPlaceFrame, reinterpret_cast<void**>(&box)))) {
      box->EnableModeless(FALSE);
      box->Release();
    }
  }
  void pageRecorded(app::Frame& frame) override {
    run->pageRecorded(frame);
    if (index == at && fault == "freeze") Sleep(INFINITE);
  }
  void pageDone(app::Frame& f, const run::PageReport& r) override { run->pageDone(f, r); }
  void loadEnded(app::Frame& f, const Text& url) override { run->loadEnded(f, url); }
  bool runEnded(app::Frame& f, const Text& m) override { return run->runEnded(f, m); }
  void pageHeld(app::Frame& f) override { run->pageHeld(f); }
};

// `notes`: the fault, its address and the worker's arguments, at '|'.
int workerWithFault(const std::string& notes) {
  platform::win32::prepareProcess();
  std::vector<std::string> fields;
  for (std::size_t start = 0, bar; start <= notes.size(); start = bar + 1) {
    bar = std::min(notes.find('|', start), notes.size());
    fields.push_back(notes.substr(start, bar - start));
  }
  const cli::CommandLine line = cli::readCommandLine({fields.begin() + 2, fields.end()});
  auto platform = platform::win32::makeWin32Platform();
  FaultyObserver faulty;
  faulty.fault = fields[0];
  faulty.at = std::stoi(fields[1]);
  faulty.index = line.preparation.workerFrom - 1;
  return runPrepared(*platform, line.preparation, [&](run::RunObserver* observer) {
    faulty.run = observer;
    return &faulty;
  });
}

int runChild(const std::string& how, const std::string& notes) {
  if (how == "hold") return holdForParent(notes);
  if (how == "worker") return workerWithFault(notes);
  if (how == "start") return startAsMainDoes(notes);
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
  run::Run run;
  app::Frame frame(*platform, programHandlers(run));
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

ChildEnd runSelfWithoutStandardError(const std::string& how, const std::string& notes) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return runProgramFile(self, how, notes, false);
}

ChildEnd runProgramFile(const std::wstring& program, const std::string& how,
                        const std::string& notes, bool standardError) {
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
  start.hStdError = standardError ? err.write : nullptr;
  PROCESS_INFORMATION child{};
  ChildEnd end;
  // Without standard error, as from the desktop: no console to fall back on either.
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE,
                      standardError ? 0 : DETACHED_PROCESS, nullptr, nullptr, &start, &child))
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

HeldFile::HeldFile(const std::wstring& path) {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --child hold \"" + path + L"\"";
  Pipe in, out;
  // The child reads the pipe's other end: the parent keeps the writing end.
  SetHandleInformation(in.read, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
  SetHandleInformation(in.write, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = in.read;
  start.hStdOutput = out.write;
  start.hStdError = nullptr;
  PROCESS_INFORMATION child{};
  if (!CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                      &child))
    return;
  CloseHandle(child.hThread);
  process_ = child.hProcess;
  input_ = std::exchange(in.write, nullptr);
  out.closeWriteEnd();
  char said[5] = {};
  DWORD got = 0, total = 0;
  while (total < sizeof said && ReadFile(out.read, said + total, sizeof said - total, &got, nullptr) &&
         got > 0)
    total += got;
  held_ = total == sizeof said && std::string(said, sizeof said) == "held\n";
}

void HeldFile::release() {
  if (input_) CloseHandle(std::exchange(input_, nullptr));
  if (process_) {
    WaitForSingleObject(process_, 10000);
    CloseHandle(std::exchange(process_, nullptr));
  }
  held_ = false;
}

}  // namespace sorvane::win32test
