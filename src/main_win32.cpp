// Sorvane on Windows (Win32 and the system browser control). Every system
// call is the Win32 layer's; this is the program's entry point alone.

#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/win32/platform.h"
#include "program.h"
#include "services/codepage.h"

int main() {
  // The code page is settled before any of the program's own texts is made,
  // since they are converted into it once, at first use.
  sorvane::systemCodePage();
  // Read before start-up makes the program's folder current, so that relative
  // paths are the caller's.
  const sorvane::cli::CommandLine options =
      sorvane::cli::readCommandLine(sorvane::platform::win32::commandLineArguments());
  auto platform = sorvane::platform::win32::makeWin32Platform();
  if (!platform) return options.exitNow ? *options.exitNow : 1;
  if (options.exitNow && !options.standardError.empty())
    sorvane::platform::win32::showStartProblem(*platform, options.standardError.bytes());
  // Help, version and a bad start end in there too: a GUI program finds its
  // streams (or the console it was started from) through the platform.
  return sorvane::runProgram(*platform, options);
}
