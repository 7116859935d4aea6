#pragma once
// The desktop of a run that nobody watches: everything goes to the real
// platform except what would wait for a person. A message box (the fatal
// error report included) becomes a line on standard error and takes its
// default button at once; the folder picker and the file dialogs are refused
// as if cancelled. The window and its timers are the real ones.

#include "platform/forwarding_platform.h"

namespace sorvane::cli {

// The result of the box's default button (flags 0x100, 0x200 pick the second
// and third), as if a person had pressed Enter.
int defaultBoxAnswer(unsigned flags);

class UnattendedPlatform final : public platform::ForwardingPlatform {
 public:
  explicit UnattendedPlatform(platform::Platform& desktop) : ForwardingPlatform(desktop) {}

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> browseForFolder(const std::string& prompt,
                                             bool includeFiles) override;
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& request) override;
};

}  // namespace sorvane::cli
