// Sorvane on the Linux desktop (GTK 3 + WebKitGTK).

#include <cstdio>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/gtk/platform.h"
#include "program.h"

namespace {

void write(std::FILE* stream, const sorvane::Text& text) {
  std::fwrite(text.c_str(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

int main(int argc, char** argv) {
  sorvane::platform::gtk::prepareProcess();
  sorvane::platform::gtk::takeToolkitOptions(&argc, &argv);
  // Read before the display is opened, so that --help, --version and a bad
  // start answer without one; and before start-up changes the current
  // directory, so that relative paths are the caller's.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const sorvane::cli::CommandLine commandLine = sorvane::cli::readCommandLine(arguments);
  const auto early = sorvane::cli::endEarly(commandLine, [](bool toError, const sorvane::Text& text) {
    write(toError ? stderr : stdout, text);
  });
  if (early) return *early;

  auto platform = sorvane::platform::gtk::makeGtkPlatform(&argc, &argv);
  if (!platform) {
    std::fprintf(stderr, "sorvane: cannot open the display\n");
    // A script's run that cannot start is a bad start; 1 would read as a run
    // with pictures missing.
    return arguments.empty() ? 1 : sorvane::cli::kExitBadStart;
  }
  return sorvane::runProgram(*platform, commandLine);
}
