// Sorvane on Windows (Win32 and the system browser control). Every system
// call is the Win32 layer's; this is the program's entry point alone.

#include <string>
#include <vector>

#include "cli/options.h"
#include "cli/watcher.h"
#include "platform/win32/platform.h"
#include "program.h"
#include "services/child_process.h"
#include "services/codepage.h"
#include "services/conversions.h"
#include "services/process.h"

int main() {
  sorvane::platform::win32::prepareProcess();
  // The code page is settled before any of the program's own texts is made,
  // since they are converted into it once, at first use.
  sorvane::systemCodePage();
  // Read before start-up makes the program's folder current, so that relative
  // paths are the caller's.
  const std::vector<std::string> arguments = sorvane::platform::win32::commandLineArguments();
  const sorvane::cli::CommandLine options = sorvane::cli::readCommandLine(arguments);
  auto platform = sorvane::platform::win32::makeWin32Platform();
  if (!platform) return options.exitNow ? *options.exitNow : 1;
  if (options.exitNow && !options.standardError.empty())
    sorvane::platform::win32::showStartProblem(*platform, options.standardError.bytes());
  // A page's script can hold this thread for good, and with it every timer:
  // a run that must end by itself is carried out by a second copy of the
  // program, which this one, making no window, can end.
  if (sorvane::cli::runsInWorkers(options)) {
    const sorvane::cli::WatcherWorld world{
        [&] { return platform->monotonicMs(); },
        [] { return sorvane::currentDateTime(); },
        [&](sorvane::platform::StandardStream stream, const std::string& text) {
          platform->writeStandardStream(stream, text);
        },
        [](const std::vector<sorvane::Text>& workerArguments) {
          return sorvane::startChildProcess(sorvane::executablePath(), workerArguments);
        }};
    if (const auto code = sorvane::cli::watchWorkers(world, options.preparation, arguments))
      return *code;
  }
  // Help, version and a bad start end in there too: a GUI program finds its
  // streams (or the console it was started from) through the platform.
  return sorvane::runProgram(*platform, options);
}
