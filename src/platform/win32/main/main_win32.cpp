// Sorvane on Windows (Win32 and the system browser control).

#include <windows.h>
// After windows.h, which they build on.
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/win32/win32_platform.h"
#include "platform/win32/win32_text.h"
#include "program.h"
#include "services/codepage.h"

namespace {

// OLE for this thread, for as long as main runs: the browser control is an
// ActiveX control and the folder picker needs it too.
class OleSession {
 public:
  OleSession() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
  ~OleSession() {
    if (initialised_) OleUninitialize();
  }
  OleSession(const OleSession&) = delete;
  OleSession& operator=(const OleSession&) = delete;

 private:
  bool initialised_;
};

// The command line as texts in the program's code page, without the program's
// own name. An argument the code page cannot carry keeps '?' in its place and
// so names no file the user meant; the options report what they cannot use.
std::vector<std::string> commandLine() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  for (int i = 1; i < count; ++i) {
    arguments.push_back(sorvane::platform::win32::fromWide(wide[i]));
  }
  LocalFree(wide);
  return arguments;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The code page is settled before any of the program's own texts is made,
  // since they are converted into it once, at first use.
  sorvane::systemCodePage();
  // Read before start-up makes the program's folder current, so that relative
  // paths are the caller's.
  const sorvane::cli::CommandLine options = sorvane::cli::readCommandLine(commandLine());

  OleSession ole;
  auto platform = sorvane::platform::win32::makeWin32Platform();
  if (!platform) return options.exitNow ? *options.exitNow : 1;
  if (options.exitNow) {
    // Help, version or a bad start: the platform finds the streams (or the
    // console the program was started from) for a GUI program.
    using sorvane::platform::StandardStream;
    platform->writeStandardStream(StandardStream::Output, options.standardOutput.bytes());
    platform->writeStandardStream(StandardStream::Error, options.standardError.bytes());
    return *options.exitNow;
  }
  return sorvane::runProgram(*platform, options);
}
