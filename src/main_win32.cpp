// Sorvane on Windows (Win32 and the system browser control).

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include <string>
#include <vector>

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

// The command line as texts in the program's code page. The program takes no
// options yet; reading them here keeps the wide-to-narrow step in one place.
std::vector<std::string> commandLine() {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return arguments;
  for (int i = 0; i < count; ++i) {
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
  const std::vector<std::string> arguments = commandLine();
  (void)arguments;

  OleSession ole;
  auto platform = sorvane::platform::win32::makeWin32Platform();
  if (!platform) return 1;
  return sorvane::runProgram(*platform);
}
