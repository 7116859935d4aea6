// The capture folder (编辑框1, chosen with 按钮6), the "截图" switch (选择框1)
// and the capture step that saves the browser's picture under a date-time name.

#include <new>

#include "app/dialogs.h"
#include "capture/picture_file.h"
#include "capture/window_pixels.h"
#include "record/picture_record.h"
#include "run/capture_folder.h"
#include "run/run.h"
#include "services/conversions.h"
#include "services/files.h"
#include "services/own_text.h"

namespace sorvane::run {

using app::Frame;
namespace prop = app::prop;

Text normaliseFolderPath(const Text& path, const Text& separator, const CodePage& cp) {
  if (path.empty()) return Text();
  if (endsWithCharacter(path, separator, cp)) return path;
  return path + separator;
}

void chooseCaptureFolder(Frame& frame) {
  const Text folder = normaliseFolderPath(browseForFolder(ownText("请选择保存截图的文件夹：")));
  app::Control& folderBox = frame.control("编辑框1");
  app::Control& checkBox = frame.control("选择框1");
  frame.writeText(folderBox, prop::editBox::content, folder);
  // Choosing switches screenshots on; cancelling the picker (an empty folder)
  // switches them off again.
  frame.writeInt(checkBox, prop::checkBox::checked, 1);
  if (frame.readText(folderBox, prop::editBox::content).empty())
    frame.writeInt(checkBox, prop::checkBox::checked, 0);
}

void checkCaptureFolder(Frame& frame) {
  app::Control& checkBox = frame.control("选择框1");
  // The box has toggled itself before this runs.
  if (frame.readInt(checkBox, prop::checkBox::checked) == 1) {
    if (frame.readText(frame.control("编辑框1"), prop::editBox::content).empty()) {
      frame.writeInt(checkBox, prop::checkBox::checked, 0);
      messageBox(ownText("请在右边选择截图保存目录！"), 0);
    }
    return;
  }
  frame.writeInt(checkBox, prop::checkBox::checked, 0);
}

void addCaptureFolderHandlers(app::HandlerTable& table) {
  table.emplace("chooseCaptureFolder", &chooseCaptureFolder);
  table.emplace("checkCaptureFolder", &checkCaptureFolder);
}

std::optional<Text> freeCaptureName(const Text& stem, const Text& extension) {
  // Two captures within one second share a time stamp; the later one gets a
  // number instead of replacing the earlier picture. A folder that answers
  // nothing (no permission, a share gone) is no reason to count on for ever:
  // that capture fails.
  for (std::int32_t n = 1; n <= kCaptureNameLimit; ++n) {
    const Text name =
        n == 1 ? stem + extension : stem + Text("(") + toText(n) + Text(")") + extension;
    switch (nameState(name)) {
      case NameState::Free: return name;
      case NameState::Unknown: return std::nullopt;
      case NameState::Taken: break;
    }
  }
  return std::nullopt;
}

namespace {

// A page's picture and its file's bytes.
struct Taken {
  std::optional<platform::Pixels> pixels;
  ByteSet picture;
  bool cut = false;
};

std::optional<platform::Platform::Document> wholePage(Frame& frame, Run& run,
                                                     std::uint32_t browser) {
  // The engine may run a loop while it draws: the dwell's next tick must
  // not start a second picture meanwhile.
  bool& capturing = run.page.capturing;
  capturing = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{capturing};
  return frame.platform().captureDocument(browser, capture::kFullPageWidthLimit,
                                          capture::kFullPageHeightLimit);
}

// A whole page takes hundreds of MB at its bounds, more than a 32-bit process
// may find: where it cannot be drawn or encoded (an encoder out of memory
// just fails), what the view shows is taken instead and said cut, and a
// picture that cannot be had at all is a page without one. Running out of
// memory here never ends the run.
Taken takePicture(Frame& frame, Run& run, std::uint32_t browser, ImageFormat format) {
  Taken taken;
  if (run.settings.fullPage) {
    try {
      if (std::optional<platform::Platform::Document> document = wholePage(frame, run, browser)) {
        taken.cut = document->cut;
        taken.pixels = std::move(document->pixels);
        taken.picture = capture::encodePicture(*taken.pixels, format);
        if (!taken.picture.empty()) return taken;
      }
    } catch (const std::bad_alloc&) {
      // What the view shows, below.
    }
    taken = Taken{};
    taken.cut = true;
  }
  try {
    taken.pixels = capture::takePixels(frame.platform(), browser);
    if (taken.pixels) taken.picture = capture::encodePicture(*taken.pixels, format);
  } catch (const std::bad_alloc&) {
    taken.pixels.reset();
    taken.picture = ByteSet();
  }
  return taken;
}

bool savedChangePicture(record::PictureRecord& pictureRecord, const Text& name,
                        const platform::Pixels& pixels, const record::Comparison& compared,
                        ImageFormat format) {
  try {
    return pictureRecord.saveChangePicture(name, pixels, compared, format);
  } catch (const std::bad_alloc&) {
    return false;  // the framed copy finds no room
  }
}

}  // namespace

PageReport capturePage(Frame& frame, Run& run, const Text& folder, const Text& url) {
  PageReport report;
  report.url = url;
  report.outcome = PageOutcome::NotWritten;
  report.at = currentDateTime();
  const Text stem = folder + toText(report.at);
  const ImageFormat format = run.settings.pictureFormat;
  const Text extension = capture::pictureExtension(format);
  report.picture = stem + extension;
  const std::uint32_t browser = frame.windowHandle(frame.control("互联网浏览器1"));
  Taken taken = takePicture(frame, run, browser, format);
  const std::optional<platform::Pixels>& pixels = taken.pixels;
  const ByteSet& picture = taken.picture;
  // No picture (the browser could not be read, or no memory was found for
  // it) means no file, and nothing cut: an empty ".jpg" would only look like
  // a broken picture. A picture that cannot be written is skipped without a
  // word; the run goes on either way.
  if (picture.empty()) return report;

  record::PictureRecord* pictureRecord = run.settings.record.get();
  std::optional<record::Comparison> compared;
  if (pictureRecord && !folder.empty()) {
    try {
      compared = pictureRecord->compare(folder, url, *pixels, picture, format);
    } catch (const std::bad_alloc&) {
      // No room for the earlier picture beside this one: no change figure.
    }
  }
  // A picture that was not written changed nothing, and is not cut.
  auto written = [&](const Text& name) {
    report.outcome = PageOutcome::Captured;
    report.picture = name;
    if (compared) report.change = compared->changeText();
    report.cut = taken.cut;
    return report;
  };
  if (compared && compared->keptEarlier) return written(folder + *compared->keptEarlier);
  // The name is free when chosen, but another copy of the program may take it
  // before the picture lands: the write never replaces a file, and a name
  // taken meanwhile is passed over for the next one.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::optional<Text> chosen = freeCaptureName(stem, extension);
    if (!chosen) break;
    report.picture = *chosen;
    if (writeFile(report.picture, picture, WriteMode::NewOnly)) {
      if (compared &&
          !savedChangePicture(*pictureRecord, report.picture, *pixels, *compared, format))
        pictureRecord->sayProblem(ownText("变化截图无法保存：") +
                                  record::changePictureName(report.picture));
      return written(report.picture);
    }
    if (nameState(report.picture) != NameState::Taken) break;
  }
  return report;
}

}  // namespace sorvane::run
