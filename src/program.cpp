#include "program.h"

#include "cli/unattended.h"
#include "run/run_handlers.h"
#include "urllist/urllist_handlers.h"

namespace sorvane {

app::HandlerTable programHandlers() {
  app::HandlerTable table;
  run::addHandlers(table);
  urllist::addHandlers(table);
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
  if (commandLine.exitNow) {
    if (!commandLine.standardOutput.empty())
      platform.writeStandardStream(platform::StandardStream::Output,
                                   commandLine.standardOutput.bytes());
    if (!commandLine.standardError.empty())
      platform.writeStandardStream(platform::StandardStream::Error,
                                   commandLine.standardError.bytes());
    return *commandLine.exitNow;
  }
  if (commandLine.preparation.asksNothing()) return runProgram(platform);
  return cli::runPrepared(platform, programHandlers(), commandLine.preparation);
}

}  // namespace sorvane
