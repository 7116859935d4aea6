#pragma once
// The browse run, the capture folder and the capture step.

#include <optional>

#include "app/frame.h"
#include "run/page_report.h"
#include "run/run_state.h"
#include "services/codepage.h"
#include "services/files.h"
#include "services/values.h"

namespace sorvane::run {

class RunObserver;

// startOrStopRun, pollBrowser, endDwell, chooseCaptureFolder, checkCaptureFolder.
// The run keeps its state in the frame (runState).
// The run's steps tell `observer`, if there is one, what they do; it must
// outlive the frame the table is given to.
void addHandlers(app::HandlerTable& table, RunObserver* observer = nullptr);

// The handlers, for the table and for tests that call them directly.
void startOrStopRun(app::Frame& frame);
void pollBrowser(app::Frame& frame, RunObserver* observer = nullptr);
void endDwell(app::Frame& frame, RunObserver* observer = nullptr);
void chooseCaptureFolder(app::Frame& frame);
void checkCaptureFolder(app::Frame& frame);

// Loads the next address, or ends the run when there is none.
void advanceRun(app::Frame& frame, RunObserver* observer = nullptr);

// The list was cleared: a run in progress halts where it is, with 停止 still
// shown, and lets the computer sleep again.
void haltRun(app::Frame& frame);

// The load in progress is told to stop; one still going a second later (a
// script holds the engine) has its page ended. True once the browser is idle.
bool endLoad(app::Frame& frame);

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

struct CaptureResult {
  bool written = false;
  Text picture;  // the file written, or the one that could not be
  DateTime takenAt;
  // With a record: the change since the address's earlier picture ("new",
  // "0.0" … "100.0"); empty otherwise. An unchanged picture that is not kept
  // has `picture` naming the earlier one.
  Text change;
  // A picture of the whole document that stopped at a bound, or the view's
  // own where no memory was found for the whole.
  bool cut = false;
};

// How long past its deadline a page may keep the browser busy before the run
// counts it held: a stop, then the end of the page a poll later, and more.
inline constexpr std::int64_t kHeldGraceMs = 5000;

// Saves a picture of the browser into the capture folder under the current
// date and time.
CaptureResult capturePage(app::Frame& frame);

// Told what a run does, for a run started from the command line, which has to
// report each page and end without a box. Without an observer the handlers
// behave exactly as they do for a person at the window.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // The browser has just been sent to this address.
  virtual void pageLoading(app::Frame& frame, const Text& url) = 0;
  // The record has just taken the page's row (or keeps it waiting beside it).
  virtual void pageRecorded(app::Frame&) {}
  // The page's dwell is over; the record has its row already.
  virtual void pageDone(app::Frame& frame, const PageReport& report) = 0;
  // The time-out has ended the load of this address.
  virtual void loadEnded(app::Frame& frame, const Text& url) = 0;
  // The browser is still busy this long after the address's deadline: the
  // run cannot end its page (the engine shows a box of its own, in which
  // only its own loop runs). Told at every step of the run until it moves on.
  virtual void pageHeld(app::Frame&) {}
  // The run has stopped with this message ("连续访问结束", "网址个数不可为0").
  // True when the observer has dealt with it: no box is shown then.
  virtual bool runEnded(app::Frame& frame, const Text& message) = 0;
};

}  // namespace sorvane::run
