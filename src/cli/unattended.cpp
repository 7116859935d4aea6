#include "cli/unattended.h"

#include <cstdio>
#include <memory>
#include <optional>

#include "app/dialogs.h"
#include "cli/unattended_platform.h"
#include "cli/worker_channel.h"
#include "record/picture_record.h"
#include "run/capture_folder.h"
#include "run/run.h"
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

}  // namespace

RunReport::RunReport(platform::Platform& platform, const Preparation& preparation,
                     WorkerLink* link)
    : platform_(platform),
      exitWhenDone_(preparation.exitWhenDone),
      fields_{preparation.record, preparation.fullPage},
      link_(link) {}

RunReport::~RunReport() { *alive_ = false; }

void RunReport::pageLoading(Frame&, const Text& url) {
  if (link_) link_->pageBegins(url);
}

void RunReport::pageRecorded(Frame&) {
  if (link_) link_->rowWritten();
}

void RunReport::pageDone(Frame&, const run::PageReport& report) {
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

void RunReport::pageHeld(Frame&) {
  if (link_) link_->pageHeld();
}

void RunReport::loadEnded(Frame&, const Text& url) {
  say(platform::StandardStream::Error, errorLine(ownText("网页载入超时，已停止载入：") + url));
}

bool RunReport::runEnded(Frame& frame, const Text&) {
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

void RunReport::pressStartWhenRunning(Frame& frame) {
  std::shared_ptr<bool> alive = alive_;
  Frame* running = &frame;
  platform_.whenIdle([alive, running] {
    if (*alive && frameTakesEvents(*running))
      running->raiseEvent(&running->control("按钮1"), app::event::clicked);
  });
}

int RunReport::exitCode() const {
  if (!exitWhenDone_) return kExitDone;  // the window's own ending
  if (!ended_) return kExitWindowClosed;
  return picturesMissing_ > 0 ? kExitPicturesMissing : kExitDone;
}

void RunReport::say(platform::StandardStream stream, const Text& text) {
  platform_.writeStandardStream(stream, text.bytes());
}

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

void prepareRun(run::Run& run, platform::Platform& platform, const Preparation& preparation) {
  run::RunSettings& settings = run.settings;
  settings.pageTimeoutMs = preparation.pageTimeoutMs;
  settings.pictureFormat = preparation.format;
  settings.fullPage = preparation.fullPage;
  settings.browserWidth = preparation.width;
  settings.browserHeight = preparation.height;
  if (!preparation.record) return;
  platform::Platform* say = &platform;
  settings.record = std::make_unique<record::PictureRecord>(
      preparation.changedOnly ? record::KeepPictures::ChangedOnly : record::KeepPictures::All,
      [say](const Text& problem) {
        say->writeStandardStream(platform::StandardStream::Error, errorLine(problem).bytes());
      });
  // A worker after the first carries on the watcher's run.
  if (preparation.workerFrom > 1) settings.record->continueRun();
  if (!preparation.engineName.empty()) settings.record->setEngine(preparation.engineName);
  // Its rows that wait join the run's one file, where the watcher tells of them.
  if (preparation.runStartedAt) settings.record->shareRun(*preparation.runStartedAt);
}

void prepareWindow(Frame& frame, run::Run& run, const Preparation& preparation) {
  if (preparation.urls) {
    frame.vars().urlArray = *preparation.urls;
    urllist::refreshUrlListBox(frame, [&run](std::int32_t count) { run.listSized(count); });
  }
  if (preparation.folder) {
    frame.writeText(frame.control("编辑框1"), prop::editBox::content,
                    run::normaliseFolderPath(*preparation.folder));
    frame.writeInt(frame.control("选择框1"), prop::checkBox::checked, 1);
  }
  if (preparation.pause)
    frame.writeText(frame.control("编辑框3"), prop::editBox::content, *preparation.pause);
  // As 导入网址 says it, once the window is there.
  if (preparation.openedListUnreadable) messageBox(ownText("导入失败！"), 0);
}

}  // namespace sorvane::cli
