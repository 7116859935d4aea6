#include "program.h"

#include <optional>

#include "cli/unattended.h"
#include "cli/unattended_platform.h"
#include "cli/worker_channel.h"
#include "run/capture_folder.h"
#include "services/child_process.h"
#include "urllist/urllist_handlers.h"

namespace sorvane {

app::HandlerTable programHandlers(run::Run& run) {
  app::HandlerTable table;
  run.addHandlers(table);
  run::addCaptureFolderHandlers(table);
  urllist::addHandlers(table, [&run](std::int32_t count) { run.listSized(count); });
  // Clearing the list halts a run, which the run does for itself.
  table["clearUrlList"] = [&run](app::Frame& frame) {
    urllist::clearUrlList(frame);
    run.halt(frame);
  };
  return table;
}

int runProgram(platform::Platform& platform) {
  run::Run run;
  app::Frame frame(platform, programHandlers(run));
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
  return runPrepared(platform, commandLine.preparation);
}

int runPrepared(platform::Platform& desktop, const cli::Preparation& preparation,
                const ObserverWrap& wrap) {
  // A worker's streams go to its watcher, the boxes' lines among them.
  std::optional<cli::WorkerLink> link;
  if (preparation.workerFrom > 0) link.emplace(desktop, preparation.workerFrom, &writeOwnOutput);
  platform::Platform& below = link ? static_cast<platform::Platform&>(*link) : desktop;
  std::optional<cli::UnattendedPlatform> unattended;
  if (preparation.exitWhenDone) unattended.emplace(below);
  platform::Platform& platform = unattended ? static_cast<platform::Platform&>(*unattended) : below;

  if (preparation.exitWhenDone && !preparation.engineName.empty())
    platform.writeStandardStream(platform::StandardStream::Error,
                                 cli::engineLine(preparation.engineName).bytes());
  std::optional<cli::RunReport> report;
  if (preparation.start) report.emplace(platform, preparation, link ? &*link : nullptr);
  run::RunObserver* observer = report ? &*report : nullptr;
  if (wrap) observer = wrap(observer);
  run::Run run(observer);
  cli::prepareRun(run, platform, preparation);
  app::Frame frame(platform, programHandlers(run));
  if (run.settings.browserWidth > 0)
    frame.setBrowserSize(run.settings.browserWidth, run.settings.browserHeight);
  frame.startUp();
  cli::prepareWindow(frame, run, preparation);
  if (link) link->startSignsOfLife();
  if (report) report->pressStartWhenRunning(frame);
  frame.runMessageLoop();
  frame.shutdown();
  const int code = report ? report->exitCode() : cli::kExitDone;
  // Said, not left to the exit code: other ends (an abort) can give that code too.
  if (link && code == cli::kExitWindowClosed) link->windowClosed();
  return code;
}

}  // namespace sorvane
