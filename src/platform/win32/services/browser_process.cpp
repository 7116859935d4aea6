// The browser as our child on Windows: two anonymous pipes named on its
// command line, a job that ends it and all it starts with us, and a thread
// that reads its answers, since an anonymous pipe has no read to wait on.

#include "services/browser_process.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/services/browser_places.h"
#include "platform/win32/services/child_start.h"
#include "platform/win32/services/text.h"
#include "services/own_text.h"

namespace sorvane {

namespace {

using platform::win32::Handle;

// What the reader thread shares with the owner. The thread holds its own
// reference: a thread stuck on a pipe some stray process still holds open
// can be left behind at the end without reading freed memory.
struct Answers {
  Handle pipe;
  Handle arrival;  // set while there is something for read(), reset under `lock`
  std::mutex lock;
  std::string bytes;
  bool ended = false;
  std::mutex noticeLock;  // held while the notice runs, so a replaced one is done with
  std::function<void()> notice;

  void arrive(const char* data, std::size_t size, bool end) {
    {
      std::lock_guard hold(lock);
      bytes.append(data, size);
      ended = ended || end;
      SetEvent(arrival.get());
    }
    std::lock_guard hold(noticeLock);
    if (!notice) return;
    try {
      notice();
    } catch (...) {
      // The notice only says "read now"; the next arrival says it again.
    }
  }
};

DWORD WINAPI readAnswers(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Answers>> held(
      static_cast<std::shared_ptr<Answers>*>(parameter));
  Answers& answers = **held;
  std::string chunk(1 << 16, '\0');
  for (;;) {
    DWORD got = 0;
    // Fails when every writer is gone (the browser has ended) or when the
    // owner gives up waiting and cancels the read.
    if (!ReadFile(answers.pipe.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got,
                  nullptr))
      break;
    if (got > 0) answers.arrive(chunk.data(), got, false);
  }
  answers.arrive(nullptr, 0, true);
  return 0;
}

class Win32Browser final : public BrowserProcess {
 public:
  Win32Browser(Handle process, DWORD id, Handle job, Handle commands,
               std::shared_ptr<Answers> answers, Handle reader, std::wstring profile)
      : process_(std::move(process)),
        id_(id),
        job_(std::move(job)),
        commands_(std::move(commands)),
        answers_(std::move(answers)),
        reader_(std::move(reader)),
        profile_(std::move(profile)) {}
  ~Win32Browser() override { end(); }
  Win32Browser(const Win32Browser&) = delete;
  Win32Browser& operator=(const Win32Browser&) = delete;

  bool send(const std::string& bytes) override {
    if (!commands_) return false;
    for (std::size_t at = 0; at < bytes.size();) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - at, 1 << 20));
      DWORD written = 0;
      if (!WriteFile(commands_.get(), bytes.data() + at, chunk, &written, nullptr) || written == 0)
        return false;
      at += written;
    }
    return true;
  }

  Read read(std::string& into, std::int32_t timeoutMs) override {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(timeoutMs, 0));
    for (;;) {
      {
        std::lock_guard hold(answers_->lock);
        if (!answers_->bytes.empty()) {
          into += answers_->bytes;
          answers_->bytes.clear();
          return Read::Bytes;
        }
        if (answers_->ended) return Read::Ended;
        ResetEvent(answers_->arrival.get());
      }
      const ULONGLONG now = GetTickCount64();
      if (now >= deadline) return Read::Quiet;
      WaitForSingleObject(answers_->arrival.get(), static_cast<DWORD>(deadline - now));
    }
  }

  int readableDescriptor() const override { return -1; }

  // Once this returns the notice it replaces is neither running nor called
  // again, so its owner may go. A notice posts and returns: one that waits for
  // the thread that ends the browser, or ends it itself, never returns.
  void setArrivalNotice(std::function<void()> notice) override {
    std::lock_guard hold(answers_->noticeLock);
    answers_->notice = std::move(notice);
  }

  void end() override {
    if (ended_) return;
    ended_ = true;
    // Its command pipe closing is the browser's own cue to leave; the job,
    // or where there is none the process alone, makes it certain and at once.
    commands_.reset();
    if (job_) TerminateJobObject(job_.get(), 1);
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 10000);
    waitForTheJobToEmpty();
    // The reader ends when the last writer of the answer pipe is gone. One
    // that a process outside the job still holds (no job: Windows 7 inside
    // another job) would keep it reading: its read is cancelled, and after a
    // while it is left to end by itself.
    for (int tries = 0; tries < 50; ++tries) {
      if (WaitForSingleObject(reader_.get(), 100) != WAIT_TIMEOUT) break;
      CancelSynchronousIo(reader_.get());
    }
    {
      std::lock_guard hold(answers_->lock);
      answers_->ended = true;
      SetEvent(answers_->arrival.get());
    }
    setArrivalNotice(nullptr);
    // Files the browser held open cannot be removed until it is gone.
    platform::win32::removeFolderTree(profile_);
  }

  std::int64_t processId() const override { return id_; }

 private:
  void waitForTheJobToEmpty() {
    if (!job_) return;
    for (int tries = 0; tries < 500; ++tries) {
      JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts{};
      if (!QueryInformationJobObject(job_.get(), JobObjectBasicAccountingInformation, &counts,
                                     sizeof counts, nullptr) ||
          counts.ActiveProcesses == 0)
        return;
      Sleep(10);
    }
  }

  Handle process_;
  DWORD id_;
  Handle job_;
  Handle commands_;
  std::shared_ptr<Answers> answers_;
  Handle reader_;
  std::wstring profile_;
  bool ended_ = false;
};

// Our environment less __COMPAT_LAYER: a browser started in a compatibility
// mode starts itself again without it, and that second browser has no pipe.
std::wstring environmentWithoutCompatLayer() {
  static constexpr std::wstring_view name = L"__COMPAT_LAYER=";
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  if (strings) {
    for (const wchar_t* at = strings; *at; at += wcslen(at) + 1) {
      const std::wstring_view entry(at);
      if (entry.size() >= name.size() &&
          CompareStringOrdinal(entry.data(), static_cast<int>(name.size()), name.data(),
                               static_cast<int>(name.size()), TRUE) == CSTR_EQUAL)
        continue;
      block.append(entry);
      block += L'\0';
    }
    FreeEnvironmentStringsW(strings);
  }
  if (block.empty()) block += L'\0';
  block += L'\0';
  return block;
}

std::wstring handleNumber(HANDLE handle) {
  return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

// A pipe whose one end (`childs`) the child inherits; ours is never inherited.
bool makePipe(Handle& childs, Handle& ours, bool childReads) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 1 << 20)) return false;
  childs.reset(childReads ? readEnd : writeEnd);
  ours.reset(childReads ? writeEnd : readEnd);
  return SetHandleInformation(ours.get(), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

std::unique_ptr<BrowserProcess> startBrowserProcess(const BrowserStart& start, Text& problem) {
  std::optional<std::wstring> program;
  if (start.program.empty()) {
    program = platform::win32::findInstalledBrowser();
    if (!program) {
      problem = ownText("找不到浏览器（Edge 或 Chrome）");
      return nullptr;
    }
  } else {
    // A name that does not decode is no name: a '?' in its place could be
    // some other program.
    if (auto named = platform::win32::toWideExact(start.program.view()))
      program = platform::win32::findNamedBrowser(*named);
    if (!program) {
      problem = ownText("找不到浏览器：") + start.program;
      return nullptr;
    }
  }
  const Text cannotStart = ownText("无法启动浏览器：") + Text(platform::win32::fromWide(*program));

  const auto profile = platform::win32::makeProfileFolder();
  if (!profile) {
    problem = ownText("无法为浏览器建立资料文件夹");
    return nullptr;
  }
  // From here on an early return must not leave the folder behind.
  struct ProfileGuard {
    std::wstring folder;
    ~ProfileGuard() { platform::win32::removeFolderTree(folder); }
  } guard{*profile};
  if (!start.preferences.empty()) {
    const std::wstring folder = *profile + L"\\Default";
    CreateDirectoryW(folder.c_str(), nullptr);
    const HANDLE file = CreateFileW((folder + L"\\Preferences").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, start.preferences.data(), static_cast<DWORD>(start.preferences.size()),
                &written, nullptr);
      CloseHandle(file);
    }
  }

  Handle childReads, commands, childWrites, answersPipe;
  if (!makePipe(childReads, commands, true) || !makePipe(childWrites, answersPipe, false)) {
    problem = cannotStart;
    return nullptr;
  }

  std::wstring line;
  platform::win32::appendQuoted(line, *program);
  line += L" --remote-debugging-pipe --remote-debugging-io-pipes=" +
          handleNumber(childReads.get()) + L"," + handleNumber(childWrites.get());
  line += L" --edge-skip-compat-layer-relaunch ";
  platform::win32::appendQuoted(line, L"--user-data-dir=" + *profile);
  for (const Text& argument : start.arguments) {
    line += L' ';
    platform::win32::appendQuoted(line, platform::win32::toWide(argument.view()));
  }
  std::wstring environment = environmentWithoutCompatLayer();

  HANDLE inheritedList[] = {childReads.get(), childWrites.get()};
  platform::win32::InheritedHandles inherited(inheritedList, 2);
  if (!inherited.list()) {
    problem = cannotStart;
    return nullptr;
  }
  STARTUPINFOEXW info{};
  info.StartupInfo.cb = sizeof info;
  // Its streams reach nowhere: what a browser says there is no line of ours.
  info.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  info.lpAttributeList = inherited.list();
  PROCESS_INFORMATION made{};
  // Suspended until it is in the job, so nothing it starts escapes the job.
  const DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT |
                      EXTENDED_STARTUPINFO_PRESENT;
  if (!CreateProcessW(program->c_str(), line.data(), nullptr, nullptr, TRUE, flags,
                      environment.data(), nullptr, &info.StartupInfo, &made)) {
    problem = cannotStart;
    return nullptr;
  }
  Handle process(made.hProcess);
  Handle thread(made.hThread);
  // The browser holds the only copies of its ends now: when it goes, our
  // reads find the pipe broken and its reads find ours closed.
  childReads.reset();
  childWrites.reset();

  // Windows 7 allows a process in one job only: when this program is in a job
  // already (the watched worker is), the browser stays in that one, which
  // ends it with the worker's watcher, and its pipe ends it with us.
  Handle job = platform::win32::jobThatEndsWithUs();
  if (job && !AssignProcessToJobObject(job.get(), process.get())) job.reset();

  auto answers = std::make_shared<Answers>();
  answers->pipe = std::move(answersPipe);
  answers->arrival.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  auto* threadsShare = new std::shared_ptr<Answers>(answers);
  Handle reader(answers->arrival ? CreateThread(nullptr, 0, readAnswers, threadsShare, 0, nullptr)
                                 : nullptr);
  if (!reader) {
    delete threadsShare;
    if (job) TerminateJobObject(job.get(), 1);
    TerminateProcess(process.get(), 1);
    WaitForSingleObject(process.get(), 10000);
    problem = cannotStart;
    return nullptr;
  }
  ResumeThread(thread.get());
  guard.folder.clear();  // the browser's own now, removed at its end
  return std::make_unique<Win32Browser>(std::move(process), made.dwProcessId, std::move(job),
                                        std::move(commands), std::move(answers), std::move(reader),
                                        *profile);
}

}  // namespace sorvane
