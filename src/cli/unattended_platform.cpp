#include "cli/unattended_platform.h"

#include <iterator>
#include <vector>

#include "cli/options.h"
#include "platform/box_buttons.h"
#include "services/own_text.h"

namespace sorvane::cli {

namespace {


// A report over several lines (the fatal error's) becomes one: scripts and
// logs read standard error line by line.
std::string oneLine(const std::string& text) {
  std::string line;
  bool breakPending = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      breakPending = !line.empty();
      continue;
    }
    if (breakPending) line += ' ';
    breakPending = false;
    line += c;
  }
  return line;
}

}  // namespace

int defaultBoxAnswer(unsigned flags) { return platform::box::defaultAnswer(flags); }

int UnattendedPlatform::messageBox(const std::string& text, const std::string& caption,
                                   unsigned flags) {
  target().writeStandardStream(platform::StandardStream::Error,
                               errorLine(Text(oneLine(caption + " " + text))).bytes());
  return defaultBoxAnswer(flags);
}

std::optional<std::string> UnattendedPlatform::browseForFolder(const std::string&, bool) {
  target().writeStandardStream(
      platform::StandardStream::Error,
      errorLine(ownText("无人值守的运行不打开选择文件夹的对话框")).bytes());
  return std::nullopt;
}

std::optional<std::string> UnattendedPlatform::fileDialog(const platform::FileDialogRequest&) {
  target().writeStandardStream(platform::StandardStream::Error,
                               errorLine(ownText("无人值守的运行不打开文件对话框")).bytes());
  return std::nullopt;
}

}  // namespace sorvane::cli
