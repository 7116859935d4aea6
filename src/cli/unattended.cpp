#include "cli/unattended.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "app/dialogs.h"
#include "cli/unattended_platform.h"
#include "cli/worker_channel.h"
#include "record/picture_record.h"
#include "run/run_handlers.h"
#include "services/child_process.h"
#include "services/conversions.h"
#include "services/own_text.h"
#include "urllist/urllist_handlers.h"

namespace sorvane::cli {

using app::Frame;
namespace prop = app::prop;

namespace {

bool frameTakesEvents(const Frame& frame) {
  return frame.state() == app::FrameState::Running && frame.stopCounter() == 0 &&
         frame.mainWindowLoaded();
}

// Reports the pages of the run and, for a run nobody watches, turns its end
// into the end of the program. Made before the frame, whose handlers it is
// given to, and ended after it.
class RunReport final : public run::RunObserver {
 public:
  RunReport(platform::Platform& platform, const Preparation& preparation, WorkerLink* link)
      : platform_(platform),
        exitWhenDone_(preparation.exitWhenDone),
        fields_{preparation.record, preparation.fullPage},
        link_(link) {}
  ~RunReport() override { *alive_ = false; }
  RunReport(const RunReport&) = delete;
  RunReport& operator=(const RunReport&) = delete;

  void pageLoading(Frame&, const Text& url) override {
    if (link_) link_->pageBegins(url);
  }

  void pageRecorded(Frame&) override {
    if (link_) link_->rowWritten();
  }

  void pageDone(Frame&, const run::PageReport& report) override {
    const Text line = pageLine(report, fields_);
    // A worker's line goes with the message that ends its page, so that the
    // watcher never writes one for it too.
    if (!link_) say(platform::StandardStream::Output, line);
    const bool missing = report.outcome == run::PageOutcome::NotWritten;
    if (missing) {
      ++picturesMissing_;
      say(platform::StandardStream::Error, errorLine(ownText("截图无法保存：") + report.picture));
    }
    if (link_) link_->pageEnds(missing, line.bytes());
  }

  void pageHeld(Frame&) override {
    if (link_) link_->pageHeld();
  }

  void loadEnded(Frame&, const Text& url) override {
    say(platform::StandardStream::Error, errorLine(ownText("网页载入超时，已停止载入：") + url));
  }

  bool runEnded(Frame& frame, const Text&) override {
    if (!exitWhenDone_) return false;
    ended_ = true;
    if (link_) link_->runDone();
    // Closed from the loop, once the handler that ended the run is done with
    // the window.
    std::shared_ptr<bool> alive = alive_;
    Frame* ending = &frame;
    platform_.whenIdle([alive, ending] {
      if (*alive && ending->mainWindowLoaded()) ending->closeRequested(ending->mainWindow());
    });
    return true;
  }

  // Once 开始 has been pressed for the run, from the loop.
  void pressStartWhenRunning(Frame& frame) {
    std::shared_ptr<bool> alive = alive_;
    Frame* running = &frame;
    platform_.whenIdle([alive, running] {
      if (*alive && frameTakesEvents(*running))
        running->raiseEvent(&running->control("按钮1"), app::event::clicked);
    });
  }

  int exitCode() const {
    if (!exitWhenDone_) return kExitDone;  // the window's own ending
    if (!ended_) return kExitWindowClosed;
    return picturesMissing_ > 0 ? kExitPicturesMissing : kExitDone;
  }

 private:
  void say(platform::StandardStream stream, const Text& text) {
    platform_.writeStandardStream(stream, text.bytes());
  }

  platform::Platform& platform_;
  const bool exitWhenDone_;
  const LineFields fields_;
  WorkerLink* const link_;  // a worker's channel to its watcher, or nullptr
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  int picturesMissing_ = 0;
  bool ended_ = false;
};

}  // namespace

// A tab or a line end inside an address would split the script's line.
Text lineField(const Text& text) {
  std::string bytes = text.bytes();
  for (char& c : bytes) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return Text(bytes);
}

Text pageLine(const run::PageReport& report, LineFields fields) {
  // Only a picture that was written is named, measured or said to be cut.
  const bool written = report.written();
  Text line = record::recordTime(report.at) + Text("\t") + lineField(report.url) + Text("\t") +
              (written ? lineField(report.picture) : Text("-")) + Text("\t") +
              Text(run::pageEndWord(report.end));
  if (fields.record || fields.fullPage)
    line += Text("\t") + (!written || report.change.empty() || !fields.record ? Text("-")
                                                                               : report.change);
  if (fields.fullPage) line += Text("\t") + Text(!written ? "-" : report.cut ? "cut" : "whole");
  return line + Text("\n");
}

void prepareWindow(Frame& frame, const Preparation& preparation) {
  if (preparation.urls) {
    frame.vars().urlArray = *preparation.urls;
    urllist::refreshUrlListBox(frame);
  }
  if (preparation.folder) {
    frame.writeText(frame.control("编辑框1"), prop::editBox::content,
                    run::normaliseFolderPath(*preparation.folder));
    frame.writeInt(frame.control("选择框1"), prop::checkBox::checked, 1);
  }
  if (preparation.pause)
    frame.writeText(frame.control("编辑框3"), prop::editBox::content, *preparation.pause);
  run::RunState& state = run::runState(frame);
  state.pageTimeoutMs = preparation.pageTimeoutMs;
  state.pictureFormat = preparation.format;
  state.fullPage = preparation.fullPage;
  if (preparation.record) {
    platform::Platform* platform = &frame.platform();
    state.record = std::make_unique<record::PictureRecord>(
        preparation.changedOnly ? record::KeepPictures::ChangedOnly : record::KeepPictures::All,
        [platform](const Text& problem) {
          platform->writeStandardStream(platform::StandardStream::Error,
                                        errorLine(problem).bytes());
        });
    // A worker after the first carries on the watcher's run.
    if (preparation.workerFrom > 1) state.record->continueRun();
    if (!preparation.engineName.empty()) state.record->setEngine(preparation.engineName);
    // Its rows that wait join the run's one file, where the watcher tells of them.
    if (preparation.runStartedAt) state.record->shareRun(*preparation.runStartedAt);
  }
  // As 导入网址 says it, once the window is there.
  if (preparation.openedListUnreadable) messageBox(ownText("导入失败！"), 0);
}

int runPrepared(platform::Platform& desktop, const MakeHandlers& makeHandlers,
                const Preparation& preparation) {
  // A worker's streams go to its watcher, the boxes' lines among them.
  std::optional<WorkerLink> link;
  if (preparation.workerFrom > 0) link.emplace(desktop, preparation.workerFrom, &writeOwnOutput);
  platform::Platform& below = link ? static_cast<platform::Platform&>(*link) : desktop;
  std::optional<UnattendedPlatform> unattended;
  if (preparation.exitWhenDone) unattended.emplace(below);
  platform::Platform& platform = unattended ? static_cast<platform::Platform&>(*unattended) : below;

  if (preparation.exitWhenDone && !preparation.engineName.empty())
    platform.writeStandardStream(platform::StandardStream::Error,
                                 engineLine(preparation.engineName).bytes());
  std::optional<RunReport> report;
  if (preparation.start) report.emplace(platform, preparation, link ? &*link : nullptr);
  Frame frame(platform, makeHandlers(report ? &*report : nullptr));
  if (preparation.width > 0) frame.setBrowserSize(preparation.width, preparation.height);
  frame.startUp();
  prepareWindow(frame, preparation);
  if (link) link->startSignsOfLife();
  if (report) report->pressStartWhenRunning(frame);
  frame.runMessageLoop();
  frame.shutdown();
  const int code = report ? report->exitCode() : kExitDone;
  // Said, not left to the exit code: other ends (an abort) can give that code too.
  if (link && code == kExitWindowClosed) link->windowClosed();
  return code;
}

}  // namespace sorvane::cli
