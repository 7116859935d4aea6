// Child processes on Windows: started with one pipe for their output, in a job
// that ends them when this process ends, however it ends.

#include "services/child_process.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "platform/win32/services/child_start.h"
#include "platform/win32/services/text.h"

namespace sorvane {

namespace {

using platform::win32::Handle;

// Messages for this thread's windows (OLE's among them) are handled while it
// waits, so that no program sending one of them waits for us.
void handlePendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

// The watcher's own clock, which leaves out the computer's sleep.
ULONGLONG nowMs() {
  ULONGLONG hundredsOfNs = 0;
  QueryUnbiasedInterruptTime(&hundredsOfNs);
  return hundredsOfNs / 10000;
}

class Win32Child final : public ChildProcess {
 public:
  Win32Child(Handle process, Handle job, Handle output)
      : process_(std::move(process)), job_(std::move(job)), output_(std::move(output)) {}
  ~Win32Child() override {
    if (WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) TerminateProcess(process_.get(), 1);
  }
  Win32Child(const Win32Child&) = delete;
  Win32Child& operator=(const Win32Child&) = delete;

  Read read(std::string& into, std::int32_t timeoutMs) override {
    // An anonymous pipe has no waitable read; it is looked into every few
    // milliseconds, and the wait ends at once when the child ends.
    const ULONGLONG end = nowMs() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (bool ended = false;;) {
      DWORD available = 0;
      if (!PeekNamedPipe(output_.get(), nullptr, 0, nullptr, &available, nullptr))
        return Read::Ended;  // every writer's end is closed
      if (available == 0 && ended) return Read::Ended;
      if (available > 0) {
        std::string buffer(std::min<DWORD>(available, 65536), '\0');
        DWORD got = 0;
        if (!ReadFile(output_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got,
                      nullptr))
          return Read::Ended;
        into.append(buffer.data(), got);
        return Read::Bytes;
      }
      // Ended: once what it wrote before its end is read, a handle to the
      // pipe's end that some process of its own still holds must not keep us
      // waiting.
      if (WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0) {
        ended = true;
        continue;
      }
      const ULONGLONG now = nowMs();
      if (now >= end) return Read::Quiet;
      const auto wait = static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20));
      HANDLE process = process_.get();
      MsgWaitForMultipleObjects(1, &process, FALSE, wait, QS_ALLINPUT);
      handlePendingMessages();
    }
  }

  void terminate() override { TerminateProcess(process_.get(), 1); }

  int exitCode() override {
    // A child told to end is gone within moments; one that is not yet gone
    // after this long is reported as unknown rather than waited for.
    if (WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.get(), &code)) return -1;
    return static_cast<int>(code);
  }

 private:
  Handle process_;
  Handle job_;
  Handle output_;
};

}  // namespace

std::unique_ptr<ChildProcess> startChildProcess(const Text& program,
                                                const std::vector<Text>& arguments) {
  const auto wideProgram = platform::win32::toWideExact(program.view());
  if (!wideProgram) return nullptr;
  std::wstring line;
  platform::win32::appendQuoted(line, *wideProgram);
  for (const Text& argument : arguments) {
    line += L' ';
    platform::win32::appendQuoted(line, platform::win32::toWide(argument.view()));
  }

  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 65536)) return nullptr;
  Handle output(readEnd);
  Handle childsEnd(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOEXW start{};
  start.StartupInfo.cb = sizeof start;
  start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  start.StartupInfo.hStdInput = nullptr;
  start.StartupInfo.hStdOutput = writeEnd;
  start.StartupInfo.hStdError = writeEnd;
  // Only the pipe's end is handed down: our own streams stay ours, so a
  // caller reading them to their end is not kept waiting by the child.
  DWORD flags = CREATE_SUSPENDED;
  platform::win32::InheritedHandles inherited(&writeEnd, 1);
  if (inherited.list()) {
    start.lpAttributeList = inherited.list();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }

  PROCESS_INFORMATION made{};
  const BOOL started = CreateProcessW(wideProgram->c_str(), line.data(), nullptr, nullptr, TRUE,
                                      flags, nullptr, nullptr, &start.StartupInfo, &made);
  if (!started) return nullptr;
  Handle process(made.hProcess);
  Handle thread(made.hThread);
  childsEnd.reset();  // the child holds the only writer now
  // Without the job (this process is in a job that allows no other) the
  // child still ends soon after us: its next report finds no reader.
  Handle job = platform::win32::jobThatEndsWithUs();
  if (job && !AssignProcessToJobObject(job.get(), process.get())) job.reset();
  ResumeThread(thread.get());
  return std::make_unique<Win32Child>(std::move(process), std::move(job), std::move(output));
}

bool writeOwnOutput(const std::string& bytes) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!out || out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  for (std::size_t at = 0; at < bytes.size(); at += written) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
    if (!WriteFile(out, bytes.data() + at, chunk, &written, nullptr) || written == 0) return false;
  }
  return true;
}

}  // namespace sorvane
