#include "cli/watcher.h"

#include <algorithm>
#include <cstdio>

#include "cli/unattended.h"
#include "cli/worker_channel.h"
#include "record/picture_record.h"
#include "run/capture_folder.h"
#include "run/run.h"
#include "services/conversions.h"
#include "services/own_text.h"

namespace sorvane::cli {

namespace {

enum class WorkerEnd {
  RunDone,       // it said so, or no address is left for it
  Stuck,         // its signs of life stopped
  Died,          // it ended without saying the run was done
  WindowClosed,  // someone closed its window: the run ends there, as it would here
  NeverCameUp,   // it ended or stalled before its first sign of life
};

// An exit code as Windows users see a crash's (0xC0000005), others in decimal.
Text exitCodeText(int code) {
  char buffer[16];
  if (code < -1)
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(code));
  else
    std::snprintf(buffer, sizeof buffer, "%d", code);
  return Text(buffer);
}

class Watcher {
 public:
  Watcher(const WatcherWorld& world, const Preparation& preparation,
          const std::vector<std::string>& arguments)
      : world_(world),
        preparation_(preparation),
        arguments_(arguments),
        count_(static_cast<std::int32_t>(preparation.urls ? preparation.urls->size() : 0)),
        silenceMs_(static_cast<std::int64_t>(preparation.pageTimeoutMs) + kWorkerGraceMs),
        startedAt_(world.now()) {
    if (preparation.record && preparation.folder) {
      folder_ = run::normaliseFolderPath(*preparation.folder);
      record_.emplace(record::KeepPictures::All, [this](const Text& problem) { sayError(problem); });
      // Its rows are pages of the run its workers write.
      record_->continueRun();
      record_->shareRun(startedAt_, folder_);
    }
  }

  std::optional<int> run() {
    for (bool first = true; next_ <= count_; first = false) {
      std::unique_ptr<ChildProcess> worker = world_.start(workerArguments());
      if (!worker) {
        if (first) {
          sayError(ownText("无法启动工作进程，改由本进程访问"));
          return std::nullopt;
        }
        sayError(ownText("无法再启动工作进程，访问中止"));
        return kExitFatal;
      }
      int code = 0;
      switch (watch(*worker, code)) {
        case WorkerEnd::RunDone:
          return exitCode();
        case WorkerEnd::WindowClosed:
          return kExitWindowClosed;
        case WorkerEnd::NeverCameUp:
          sayError(ownText("工作进程未能启动（退出码 ") + exitCodeText(code) +
                   ownText("），访问中止"));
          return kExitFatal;
        case WorkerEnd::Stuck:
          pageLost(run::PageEnd::TimedOut, ownText("网页超时后仍占住程序，已结束工作进程，从下一个网址继续："));
          break;
        case WorkerEnd::Died:
          pageLost(run::PageEnd::Failed, ownText("工作进程意外结束（退出码 ") + exitCodeText(code) +
                                 ownText("），从下一个网址继续："));
          break;
      }
    }
    return exitCode();
  }

 private:
  std::vector<Text> workerArguments() const {
    std::vector<Text> arguments{Text("--worker-from"), toText(next_), Text("--run-started"),
                                runStartText(startedAt_)};
    for (const std::string& argument : arguments_) arguments.emplace_back(argument);
    return arguments;
  }

  int exitCode() const { return picturesMissing_ > 0 ? kExitPicturesMissing : kExitDone; }

  void sayError(const Text& problem) {
    world_.write(platform::StandardStream::Error, errorLine(problem).bytes());
  }

  // Follows one worker to its end; `code` is its exit code where it has one.
  WorkerEnd watch(ChildProcess& worker, int& code) {
    std::string pending;
    lastSign_ = world_.monotonicMs();
    heard_ = ended_ = closed_ = busy_ = false;
    for (;;) {
      const std::int64_t left = lastSign_ + allowedSilence() - world_.monotonicMs();
      // Past its time, only a look at what the pipe already holds.
      const ChildProcess::Read read =
          worker.read(pending, static_cast<std::int32_t>(std::clamp<std::int64_t>(left, 0, 1000)));
      takeLines(pending);
      if (read == ChildProcess::Read::Ended) return ended(worker, pending, code);
      // Whatever it wrote before the silence ran out counts: it is read first.
      if (left > 0 || read == ChildProcess::Read::Bytes) continue;
      worker.terminate();
      // And whatever it wrote before its end: a page it reported is not lost.
      for (int i = 0; i < 100 && worker.read(pending, 100) != ChildProcess::Read::Ended; ++i) {
      }
      takeLines(pending);
      takeLastLine(pending);
      code = worker.exitCode();
      if (ended_ || next_ > count_) return WorkerEnd::RunDone;
      return heard_ ? WorkerEnd::Stuck : WorkerEnd::NeverCameUp;
    }
  }

  WorkerEnd ended(ChildProcess& worker, std::string& pending, int& code) {
    takeLastLine(pending);
    code = worker.exitCode();
    if (ended_ || next_ > count_) return WorkerEnd::RunDone;
    // Said on the pipe: an exit code of 3 may be an abort's too.
    if (closed_) return WorkerEnd::WindowClosed;
    return heard_ ? WorkerEnd::Died : WorkerEnd::NeverCameUp;
  }

  std::int64_t allowedSilence() const {
    if (!heard_) return std::max<std::int64_t>(silenceMs_, kWorkerStartMs);
    if (busy_) return std::max<std::int64_t>(silenceMs_, kWorkerLongStepMs);
    return silenceMs_;
  }

  void takeLines(std::string& pending) {
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      take(parseWorkerMessage(line));
      heard_ = true;
      lastSign_ = world_.monotonicMs();
    }
  }

  // Its last line, cut short by its end.
  void takeLastLine(std::string& pending) {
    if (pending.empty()) return;
    take(parseWorkerMessage(pending));
    pending.clear();
    heard_ = true;
  }

  void take(const WorkerMessage& message) {
    using Kind = WorkerMessage::Kind;
    if (message.kind != Kind::Alive) busy_ = message.kind == Kind::Busy;
    switch (message.kind) {
      case Kind::Alive:
      case Kind::Busy:
        break;
      case Kind::Page:
        current_ = message.index;
        currentUrl_ = Text(message.text);
        break;
      case Kind::Row:
        rowsUpTo_ = std::max(rowsUpTo_, message.index);
        break;
      case Kind::Done:
        if (message.index < next_) break;  // its line is written already
        world_.write(platform::StandardStream::Output, message.text + "\n");
        next_ = message.index + 1;
        if (message.pictureMissing) ++picturesMissing_;
        break;
      case Kind::Out:
        world_.write(platform::StandardStream::Output, message.text + "\n");
        break;
      case Kind::Err:
        world_.write(platform::StandardStream::Error, message.text + "\n");
        break;
      case Kind::End:
        ended_ = true;
        break;
      case Kind::Closed:
        closed_ = true;
        break;
      case Kind::Other:
        // What the worker's runtime wrote on its own still reaches the user.
        if (!message.text.empty())
          world_.write(platform::StandardStream::Error, message.text + "\n");
        break;
    }
  }

  // The address the worker was at when it was lost: its line and its row,
  // with no picture, and the run goes on after it.
  void pageLost(run::PageEnd end, const Text& why) {
    const std::int32_t index = next_;
    run::PageReport report;
    report.url = current_ == index || index > count_
                     ? currentUrl_
                     : (*preparation_.urls)[static_cast<std::size_t>(index - 1)];
    report.outcome = run::PageOutcome::Lost;
    report.end = end;
    report.at = world_.now();
    world_.write(platform::StandardStream::Output,
                 pageLine(report, {preparation_.record, preparation_.fullPage}).bytes());
    sayError(why + lineField(report.url));
    // A worker lost right after the record took its row has no second one.
    if (record_ && rowsUpTo_ < index) {
      // The worker wrote rows since the record was last read here.
      record_->readAgain();
      record_->addRow(folder_, run::recordRow(report, folder_));
    }
    next_ = index + 1;
  }

  const WatcherWorld& world_;
  const Preparation& preparation_;
  const std::vector<std::string>& arguments_;
  const std::int32_t count_;
  const std::int64_t silenceMs_;
  const DateTime startedAt_;  // names the one file the run's waiting rows share
  Text folder_;
  std::optional<record::PictureRecord> record_;
  std::int32_t next_ = 1;  // the first address no line has been written for
  std::int32_t current_ = 0;
  Text currentUrl_;
  std::int32_t rowsUpTo_ = 0;  // the last address whose row a worker said it wrote
  int picturesMissing_ = 0;
  // Of the worker followed now.
  std::int64_t lastSign_ = 0;
  bool heard_ = false;   // it gave a sign of life
  bool ended_ = false;   // it said the run reached its end
  bool closed_ = false;  // it said someone closed its window
  bool busy_ = false;    // it said a long step began, and nothing since
};

}  // namespace

bool runsInWorkers(const CommandLine& commandLine) {
  const Preparation& p = commandLine.preparation;
  return !commandLine.exitNow && p.start && p.exitWhenDone && p.pageTimeoutMs > 0 &&
         p.workerFrom == 0 && p.urls && !p.urls->empty();
}

std::optional<int> watchWorkers(const WatcherWorld& world, const Preparation& preparation,
                                const std::vector<std::string>& arguments) {
  return Watcher(world, preparation, arguments).run();
}

}  // namespace sorvane::cli
