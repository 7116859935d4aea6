#pragma once
// The browse run: one per window, made beside the frame, which calls its
// handlers. It keeps what a run needs that no control keeps: how the command
// line asked it to work, whether it is on and where it stands in the list,
// and what it knows of the address it sent last. The captions and timer
// periods show the run; they are not where it is kept. What a person sets in
// the window (the pause, "截图", the folder) is read from the controls, once
// per page, and handed to the steps that need it.

#include <cstdint>
#include <memory>
#include <optional>

#include "app/frame.h"
#include "run/page_report.h"
#include "services/images.h"
#include "services/values.h"

namespace sorvane::record {
class PictureRecord;
}

namespace sorvane::run {

class RunObserver;

enum class RunPhase {
  Off,       // no run: 按钮1 says 开始
  Waiting,   // 时钟1 polls for an idle browser to send the next address
  Dwelling,  // an address was sent; 时钟2 ends its dwell
  Halted,    // the list was cleared during the run: 按钮1 still says 停止, no timer runs
};

// What the run knows of the address it sent last.
struct PageWatch {
  std::int64_t sentAtMs = -1;      // when it was sent; -1 before the first
  std::int64_t stopAskedAtMs = -1; // when its load was told to stop; -1: not yet
  bool timedOut = false;           // its time-out ended its load
  bool sending = false;            // the browser is being sent to it just now
  bool capturing = false;          // its picture is being taken (the engine may run a loop)
  Text url;
};

// How the command line asked the run to work; fixed before the window opens.
struct RunSettings {
  // How long an address may take, from its sending until the next address
  // can be sent, before its load is ended; 0 waits for ever.
  std::int32_t pageTimeoutMs = 0;
  // How pictures are saved; the bitmap image under ".jpg" unless the command
  // line asks for a real picture file.
  ImageFormat pictureFormat = ImageFormat::Bmp;
  // Pictures of the whole document rather than of the browser area.
  bool fullPage = false;
  // The browser area's size in pixels; 0 keeps the window's own.
  int browserWidth = 0;
  int browserHeight = 0;
  // The record in the capture folder, with --record.
  std::unique_ptr<record::PictureRecord> record;
};

// How long past its deadline a page may keep the browser busy before the run
// counts it held: a stop, then the end of the page a poll later, and more.
inline constexpr std::int64_t kHeldGraceMs = 5000;

class Run {
 public:
  // The run's steps tell `observer`, if there is one, what they do; it must
  // outlive the run.
  explicit Run(RunObserver* observer = nullptr);
  ~Run();
  Run(const Run&) = delete;
  Run& operator=(const Run&) = delete;

  // startOrStopRun, pollBrowser, endDwell, bound to this run; it must outlive
  // the frame the table is given to.
  void addHandlers(app::HandlerTable& table);

  // The handlers, for the table and for tests that call them directly.
  void startOrStop(app::Frame& frame);
  void poll(app::Frame& frame);
  void endDwell(app::Frame& frame);
  // The list was cleared: a run in progress halts where it is, with 停止 still
  // shown, and lets the computer sleep again.
  void halt(app::Frame& frame);
  // The list's handlers tell its new size: a run in progress picks it up.
  void listSized(std::int32_t count) { runCount = count; }

  // The load in progress is told to stop; one still going a second later (a
  // script holds the engine) has its page ended. True once the browser is idle.
  bool endLoad(app::Frame& frame);

  bool on() const { return phase != RunPhase::Off; }

  RunSettings settings;
  RunPhase phase = RunPhase::Off;
  // The run's length, fixed at 开始 and changed by the list's handlers, and
  // the list entry it sends next (numbered from 1).
  std::int32_t runCount = 0;
  std::int32_t nextIndex = 0;
  PageWatch page;

 private:
  void advance(app::Frame& frame);
  void pageOverdue(app::Frame& frame);
  app::Handler overdueTick();
  void endRun(app::Frame& frame, const char* message);
  void sendAddress(app::Frame& frame, const Text& url);
  PageEnd settlePage(app::Frame& frame);
  void recordPage(app::Frame& frame, const PageReport& report, const Text& folder);
  bool pastDeadline(app::Frame& frame) const;
  void checkHeld(app::Frame& frame);
  void letSleep(app::Frame& frame);
  void showPosition(app::Frame& frame) const;

  RunObserver* const observer_;
  // The computer is kept awake from 开始 until the run stops, ends or halts.
  bool keptAwake_ = false;
};

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
