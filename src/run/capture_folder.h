#pragma once
// The capture folder (编辑框1, chosen with 按钮6), the "截图" switch (选择框1)
// and the capture step that saves the browser's picture under a date-time name.

#include <cstdint>
#include <optional>

#include "app/frame.h"
#include "run/page_report.h"
#include "services/codepage.h"
#include "services/files.h"
#include "services/values.h"

namespace sorvane::run {

class Run;

// The handlers of 按钮6 and 选择框1.
void chooseCaptureFolder(app::Frame& frame);
void checkCaptureFolder(app::Frame& frame);
void addCaptureFolderHandlers(app::HandlerTable& table);

// The path with a trailing separator; empty stays empty. The last character,
// not the last byte, is tested, so a double-byte character whose second byte
// looks like a backslash does not count as one.
Text normaliseFolderPath(const Text& path, const Text& separator = Text(kFolderSeparator),
                         const CodePage& cp = systemCodePage());

// The first of stem + ".jpg", stem + "(2).jpg", stem + "(3).jpg" … that names
// nothing on disk yet; with another extension in place of ".jpg" if given.
// Nothing when the folder cannot be looked into, or when every number up to
// kCaptureNameLimit is taken.
std::optional<Text> freeCaptureName(const Text& stem, const Text& extension = Text(".jpg"));
inline constexpr std::int32_t kCaptureNameLimit = 1000;

// Saves a picture of the browser into `folder` (which ends in a separator)
// under the current date and time, as the run's settings ask, and compares it
// with the record's earlier picture of `url`. The report's outcome, picture,
// time, change and cut are filled in; its address and ending are the caller's.
PageReport capturePage(app::Frame& frame, Run& run, const Text& folder, const Text& url);

}  // namespace sorvane::run
