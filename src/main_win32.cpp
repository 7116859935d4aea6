// Sorvane on Windows (Win32 and the system browser control). Every system
// call is the Win32 layer's; this is the program's entry point alone.

#include <string>
#include <vector>

#include "cli/options.h"
#include "engine/browser.h"
#include "cli/watcher.h"
#include "platform/win32/platform.h"
#include "program.h"
#include "services/child_process.h"
#include "services/codepage.h"
#include "services/conversions.h"
#include "services/own_text.h"
#include "services/process.h"

namespace {

// Windows draws with a current Chromium-family browser (Edge, or Chrome)
// wherever one is found and answers within the bound, and with the system's
// browser control otherwise; --engine chooses outright.
std::unique_ptr<sorvane::engine::Browser> startEngine(sorvane::platform::Platform& platform,
                                                      sorvane::cli::CommandLine& line) {
  using namespace sorvane;
  const cli::EngineChoice choice = line.engine.choice;
  cli::Preparation& p = line.preparation;
  const Text builtinName = ownText("系统浏览器控件");
  if (choice == cli::EngineChoice::Builtin) {
    p.engineName = builtinName;
    return nullptr;
  }
  Text problem;
  BrowserStart start;
  start.program = line.engine.browser.value_or(Text());
  auto browser = engine::Browser::start(
      start, [&platform] { return platform.monotonicMs(); }, problem, engine::kReadyWithinMs);
  if (browser) {
    platform::win32::usePageEngine(platform, browser.get());
    p.engineName = Text(browser->product());
    return browser;
  }
  if (choice == cli::EngineChoice::Chromium) {
    // Its line, and a box where standard error reaches nobody.
    const Text said = cli::errorLine(problem);
    platform.writeStandardStream(platform::StandardStream::Error, said.bytes());
    platform::win32::showStartProblem(platform, said.bytes());
    return nullptr;
  }
  // The control draws instead; only a run nobody watches is told why.
  if (p.exitWhenDone)
    platform.writeStandardStream(
        platform::StandardStream::Error,
        cli::errorLine(problem + ownText("；改用") + builtinName).bytes());
  p.engineName = builtinName;
  return nullptr;
}

}  // namespace

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
  if (options.exitNow) return sorvane::runProgram(*platform, options);
  sorvane::cli::CommandLine prepared = options;
  std::unique_ptr<sorvane::engine::Browser> browser = startEngine(*platform, prepared);
  if (!browser && prepared.engine.choice == sorvane::cli::EngineChoice::Chromium)
    return sorvane::cli::kExitBadStart;
  const int code = sorvane::runProgram(*platform, prepared);
  sorvane::platform::win32::usePageEngine(*platform, nullptr);
  return code;
}
