// Sorvane on the Linux desktop (GTK 3 + WebKitGTK, or a Chromium-family
// browser of our own).

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "engine/browser.h"
#include "platform/gtk/platform.h"
#include "program.h"
#include "services/own_text.h"

namespace {

void write(std::FILE* stream, const sorvane::Text& text) {
  std::fwrite(text.c_str(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sorvane;
  platform::gtk::prepareProcess();
  platform::gtk::takeToolkitOptions(&argc, &argv);
  // Read before the display is opened, so that --help, --version and a bad
  // start answer without one; and before start-up changes the current
  // directory, so that relative paths are the caller's.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  cli::CommandLine commandLine = cli::readCommandLine(arguments);
  const auto early = cli::endEarly(commandLine, [](bool toError, const Text& text) {
    write(toError ? stderr : stdout, text);
  });
  if (early) return *early;

  auto platform = platform::gtk::makeGtkPlatform(&argc, &argv);
  if (!platform) {
    std::fprintf(stderr, "sorvane: cannot open the display\n");
    // A script's run that cannot start is a bad start; 1 would read as a run
    // with pictures missing.
    return arguments.empty() ? 1 : cli::kExitBadStart;
  }

  // Linux draws with the engine the window hosts unless asked otherwise.
  std::unique_ptr<engine::Browser> browser;
  if (commandLine.engine.choice == cli::EngineChoice::Chromium) {
    Text problem;
    BrowserStart start;
    start.program = commandLine.engine.browser.value_or(Text());
    browser = engine::Browser::start(start, [&] { return platform->monotonicMs(); }, problem);
    if (!browser) {
      write(stderr, cli::errorLine(problem));
      // Someone is at the window: it says so too.
      if (!commandLine.preparation.exitWhenDone)
        platform->messageBox(problem.bytes(), ownText("错误").bytes(), platform::box::kIconError);
      return cli::kExitBadStart;
    }
    platform::gtk::usePageEngine(*platform, browser.get());
    commandLine.preparation.engineName = Text(browser->product());
  } else if (commandLine.preparation.exitWhenDone || commandLine.preparation.record) {
    commandLine.preparation.engineName = Text(platform::gtk::hostedEngineName());
  }
  const int code = runProgram(*platform, commandLine);
  platform::gtk::usePageEngine(*platform, nullptr);
  return code;
}
