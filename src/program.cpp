#include "program.h"

#include "cli/unattended.h"
#include "urllist/urllist_handlers.h"

namespace sorvane {

app::HandlerTable programHandlers(run::RunObserver* observer) {
  app::HandlerTable table;
  run::addHandlers(table, observer);
  urllist::addHandlers(table);
  // Clearing the list halts a run, which the run does for itself.
  table["clearUrlList"] = [](app::Frame& frame) {
    urllist::clearUrlList(frame);
    run::haltRun(frame);
  };
  return table;
}

int runProgram(platform::Platform& platform) {
  app::Frame frame(platform, programHandlers());
  return frame.run();
}

int runProgram(platform::Platform& platform, const std::vector<std::string>& arguments) {
  if (arguments.empty()) return runProgram(platform);
  return runProgram(platform, cli::readCommandLine(arguments));
}

int runProgram(platform::Platform& platform, const cli::CommandLine& commandLine) {
  const auto early = cli::endEarly(commandLine, [&](bool toError, const Text& text) {
    platform.writeStandardStream(
        toError ? platform::StandardStream::Error : platform::StandardStream::Output, text.bytes());
  });
  if (early) return *early;
  if (commandLine.preparation.asksNothing()) return runProgram(platform);
  return cli::runPrepared(platform, &programHandlers, commandLine.preparation);
}

}  // namespace sorvane
