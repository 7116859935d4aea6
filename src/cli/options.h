#pragma once
// The command line: options for runs started from a script (cron, the task
// scheduler). Without options the program is the window and nothing else.
//
// Parsing is pure; reading the command line also reads the list file and
// checks the folder, relative to the caller's current directory, so it must
// happen before start-up makes the program's folder the current one.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "services/images.h"
#include "services/values.h"

namespace sorvane::cli {

// Which engine draws the pages: the one the window hosts (WebKitGTK on
// Linux, the system's browser control on Windows) or a Chromium-family
// browser of our own, driven over its debugging pipe. Unsaid, each system
// has its default.
enum class EngineChoice { Default, Builtin, Chromium };

struct EngineRequest {
  EngineChoice choice = EngineChoice::Default;
  std::optional<Text> browser;  // --browser: the browser program to start
};

// What the options ask of the window and its run that goes to them as given.
struct RunOptions {
  std::optional<Text> pause;  // the content of 编辑框3
  bool start = false;
  bool exitWhenDone = false;
  std::int32_t pageTimeoutMs = 0;  // 0: none
  ImageFormat format = ImageFormat::Bmp;
  bool record = false;
  bool changedOnly = false;
  std::int32_t width = 0;  // the browser area's size; 0: the layout's
  std::int32_t height = 0;
  bool fullPage = false;
  // Not in the help: the watcher of a run starts its worker with the place of
  // the worker's first address in the list (1 for the first address).
  std::int32_t workerFrom = 0;  // 0: not a worker
  // Not in the help either: the watched run's start, which names the one file
  // its waiting rows share.
  std::optional<DateTime> runStartedAt;
};

// What the options say, as given.
struct Options : RunOptions {
  std::optional<Text> listFile;
  // A file named alone (dropped on the program, "Open with"): the window
  // imports it as 导入网址 would.
  std::optional<Text> openedList;
  std::optional<Text> folder;
  EngineRequest engine;
};

enum class Action { Run, ShowHelp, ShowVersion, Refuse };

struct ParsedArguments {
  Action action = Action::Run;
  Options options;
  Text problem;  // for Refuse: what is wrong, one line without its end
};

// GNU style: "--name value" or "--name=value". Arguments are texts in the
// system code page, without the program's name.
ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// What a prepared window gets: the list already read, the folder checked and
// made a full path.
struct Preparation : RunOptions {
  std::optional<TextArray> urls;
  std::optional<Text> folder;
  // The file named alone could not be read: the window says "导入失败！".
  bool openedListUnreadable = false;
  // Which engine draws the pages ("Chromium 156.0.8078.73"), as the desktop
  // tells it once the engine is there: said on standard error by a run
  // nobody watches, and in the gallery's heading of the run.
  Text engineName;

  bool asksNothing() const {
    return !urls && !folder && !pause && !start && pageTimeoutMs == 0 &&
           format == ImageFormat::Bmp && !record && width == 0 && !fullPage &&
           !openedListUnreadable;
  }
};

// The sizes --size accepts.
inline constexpr std::int32_t kMinWidth = 320, kMinHeight = 240;
inline constexpr std::int32_t kMaxWidth = 3840, kMaxHeight = 2160;

// Exit codes of runs started from the command line; a fatal error keeps -1.
inline constexpr int kExitDone = 0;
inline constexpr int kExitPicturesMissing = 1;
inline constexpr int kExitBadStart = 2;
inline constexpr int kExitWindowClosed = 3;
inline constexpr int kExitFatal = -1;

struct CommandLine {
  // Set when the program ends at once (help, version, a bad start) with this
  // code, after writing the texts below.
  std::optional<int> exitNow;
  Text standardOutput;
  Text standardError;
  Preparation preparation;
  EngineRequest engine;
};

CommandLine readCommandLine(const std::vector<std::string>& arguments);

// Where the command line ends the program at once (help, version, a bad
// start): writes its texts through `write`, the output's first, and gives the
// exit code. Nothing where it goes on to the window.
std::optional<int> endEarly(const CommandLine& line,
                            const std::function<void(bool toError, const Text& text)>& write);

// A run's start as --run-started takes it: "YYYYMMDDhhmmss".
Text runStartText(DateTime at);

Text helpText();
// The first line of an unattended run on standard error.
Text engineLine(const Text& engineName);
Text versionText();

// One line for standard error: "sorvane: " + problem + line end.
Text errorLine(const Text& problem);

}  // namespace sorvane::cli
