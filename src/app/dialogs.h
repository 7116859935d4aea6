#pragma once
// Message boxes and the folder picker as the handlers call them. They forward
// to the platform, which runs a nested loop while they wait.

#include <cstdint>

#include "platform/platform.h"
#include "services/values.h"

namespace sorvane {

// The desktop's boxes and dialogs these forward to; set by the frame at
// start-up.
void setServicePlatform(platform::Dialogs* dialogs);
platform::Dialogs& servicePlatform();

// Flags: Windows MessageBox values. Adds task modality unless system modal is
// asked for. Returns the result code (0 OK … 5 Yes, 6 No); 0 if no box showed.
// Without a title the box's caption is "信息：".
std::int32_t messageBox(const Text& message, std::int32_t flags, const Text& title);
std::int32_t messageBox(const Text& message, std::int32_t flags = 0);

Text browseForFolder(const Text& prompt, bool includeFiles = false);

// The common dialog's vertical-bar filter list as description/pattern pairs:
// trailing white space removed, "||" closes the list.
std::vector<std::pair<std::string, std::string>> parseFilterList(const Text& filter);

}  // namespace sorvane
