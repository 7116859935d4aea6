// The capture folder (编辑框1, chosen with 按钮6), the "截图" switch (选择框1)
// and the capture step that saves the browser's picture under a date-time name.

#include <new>

#include "app/dialogs.h"
#include "capture/picture_file.h"
#include "capture/window_pixels.h"
#include "record/picture_record.h"
#include "run/run_handlers.h"
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

std::optional<platform::Platform::Document> wholePage(Frame& frame, std::uint32_t browser) {
  // The engine may run a loop while it draws: the dwell's next tick must
  // not start a second picture meanwhile.
  bool& capturing = runState(frame).page.capturing;
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
Taken takePicture(Frame& frame, std::uint32_t browser, ImageFormat format) {
  Taken taken;
  if (runState(frame).fullPage) {
    try {
      if (std::optional<platform::Platform::Document> document = wholePage(frame, browser)) {
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

CaptureResult capturePage(Frame& frame) {
  const DateTime takenAt = currentDateTime();
  const Text folder = frame.readText(frame.control("编辑框1"), prop::editBox::content);
  const Text stem = folder + toText(takenAt);
  RunState& state = runState(frame);
  const ImageFormat format = state.pictureFormat;
  const Text extension = capture::pictureExtension(format);
  const std::uint32_t browser = frame.windowHandle(frame.control("互联网浏览器1"));
  Taken taken = takePicture(frame, browser, format);
  const std::optional<platform::Pixels>& pixels = taken.pixels;
  const ByteSet& picture = taken.picture;
  const bool cut = taken.cut;
  // No picture (the browser could not be read, or no memory was found for
  // it) means no file, and nothing cut: an empty ".jpg" would only look like
  // a broken picture. A picture that cannot be written is skipped without a
  // word; the run goes on either way.
  if (picture.empty()) return {false, stem + extension, takenAt, Text(), false};

  record::PictureRecord* pictureRecord = state.record.get();
  std::optional<record::Comparison> compared;
  if (pictureRecord && !folder.empty()) {
    try {
      compared = pictureRecord->compare(folder, state.page.url, *pixels, picture, format);
    } catch (const std::bad_alloc&) {
      // No room for the earlier picture beside this one: no change figure.
    }
    if (compared && compared->keptEarlier)
      return {true, folder + *compared->keptEarlier, takenAt, compared->changeText(), cut};
  }
  const Text change = compared ? compared->changeText() : Text();
  // The name is free when chosen, but another copy of the program may take it
  // before the picture lands: the write never replaces a file, and a name
  // taken meanwhile is passed over for the next one.
  Text name = stem + extension;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::optional<Text> chosen = freeCaptureName(stem, extension);
    if (!chosen) break;
    name = *chosen;
    if (writeFile(name, picture, WriteMode::NewOnly)) {
      if (compared && !savedChangePicture(*pictureRecord, name, *pixels, *compared, format))
        pictureRecord->sayProblem(ownText("变化截图无法保存：") + record::changePictureName(name));
      return {true, name, takenAt, change, cut};
    }
    if (nameState(name) != NameState::Taken) break;
  }
  return {false, name, takenAt, change, cut};
}

}  // namespace sorvane::run
