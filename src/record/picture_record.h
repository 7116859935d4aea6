#pragma once
// The record kept in the capture folder (截图记录.csv): a row for every page
// of every run, and what each picture changed since the address's picture
// before it.
//
// The record is read once when a run reaches its first page (and again when
// the folder changes), into an index of the latest picture of each address;
// each row is then appended and flushed on its own. A record that cannot be
// read is set aside under a new name, never overwritten. A record another
// program holds (a spreadsheet showing it) is whole: it is neither renamed nor
// replaced, and the rows it cannot take wait, in order, until it is free. They
// wait on disk, in a file of the run's own beside the record, written row by
// row: a process ended from outside (a worker its watcher gave up) loses none.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "record/change.h"
#include "record/gallery.h"
#include "record/page_end.h"
#include "services/images.h"
#include "services/values.h"

namespace sorvane::record {

// The record's name in the capture folder.
const Text& recordFileName();
// The record's first row.
std::string recordHeader();
// "2026-12-08 07:00:04", as the per-page line has it.
Text recordTime(DateTime at);
// The picture's name with "-变化" before its extension.
Text changePictureName(const Text& picture);

// What a new picture is, next to the address's latest earlier one.
struct Comparison {
  std::optional<Change> change;  // nothing: no earlier picture ("new")
  // With --changed-only, an unchanged picture is not kept: the earlier one,
  // by its name in the folder, stands for it.
  std::optional<Text> keptEarlier;
  Text changeText() const;  // "new", "0.0" … "100.0"
};

struct RecordRow {
  DateTime at;
  Text url;
  Text picture;  // its name in the folder; empty when none was written
  PageEnd end = PageEnd::Loaded;
  Text change;   // "new", "0.0" … "100.0"; empty without a picture
  NoPicture why = NoPicture::Unknown;  // without a picture: why, for the gallery
};

enum class KeepPictures { All, ChangedOnly };

class PictureRecord {
 public:
  // Problems (a record set aside, a row that could not be written) are told
  // through `say`, one line each, without the line's "sorvane: " or end.
  PictureRecord(KeepPictures keep, std::function<void(const Text&)> say);
  // Rows still waiting go where endRun would put them, and `say` tells where.
  ~PictureRecord();
  PictureRecord(const PictureRecord&) = delete;
  PictureRecord& operator=(const PictureRecord&) = delete;

  // A run starts: its first page reads the record again, so rows that another
  // copy of the program added meanwhile count too. Without its start, the
  // run's first row that had to wait stands for it.
  void startRun(std::optional<DateTime> startedAt = std::nullopt) {
    readAgain();
    runStartedAt_ = sharedStart_ ? sharedStart_ : startedAt;
  }
  // The next row reads the record, and the rows waiting for it, again: another
  // process of the run wrote meanwhile.
  void readAgain() {
    loadedFolder_.reset();
    gallery_.startRun();
  }

  // This process carries on a run that another one began (see Gallery).
  void continueRun() { gallery_.continueRun(); }
  // What draws the pages of this process's runs, for the gallery's heading.
  void setEngine(const Text& name);

  // The processes of one run (a watcher and its workers) share its start, and
  // so its one file of waiting rows: each takes up the rows the one before
  // left there. The one given the run's folder says at its end where they are.
  void shareRun(DateTime startedAt, std::optional<Text> tellsFor = std::nullopt) {
    sharedStart_ = runStartedAt_ = startedAt;
    tellsFor_ = std::move(tellsFor);
  }

  // The run is over. Rows still waiting for a record another program holds
  // are tried once more, and failing that stay in their file beside it,
  // named with the run's start ("截图记录-2026年12月8日7时0分4秒.csv").
  // Gives the line that says so, when they could not go into the record.
  std::optional<Text> endRun();

  // `stored` is the picture as its file will hold it; `captured` is what the
  // browser showed. Files are read from `folder`, which ends in a separator.
  Comparison compare(const Text& folder, const Text& url, const platform::Pixels& captured,
                     const ByteSet& stored, ImageFormat format);

  // Beside a changed picture just written under `picture` (a full name): the
  // same picture with its changes framed in red. False when it could not be
  // written; nothing is written for an unchanged or new picture.
  bool saveChangePicture(const Text& picture, const platform::Pixels& captured,
                         const Comparison& comparison, ImageFormat format);

  void addRow(const Text& folder, const RecordRow& row);

  void sayProblem(const Text& problem) { say_(problem); }

  // For tests and the benchmark: the address's latest picture as the index has it.
  std::optional<Text> latestPicture(const Text& folder, const Text& url);

 private:
  enum class State {
    Unusable,  // no record can be kept in the folder for now
    Ready,
    Held,  // another program holds it: read it again before the next row
  };
  struct WaitingRow {
    DateTime at;
    std::string bytes;  // with its line end
    std::string url;
    std::string picture;
  };

  // Reads the record of the folder unless it is the one read already; false
  // when no record can be kept there for now.
  bool ensureLoaded(const Text& folder);
  State load(const Text& folder);
  State setAside(const Text& folder, const Text& path);
  State startNew(const Text& path);
  // Appends the waiting rows, in order, when the record takes them.
  void writeWaiting();
  // Makes the waiting rows' file hold exactly the rows that wait: the new ones
  // added, the file gone once none waits.
  void keepWaitingAside();
  // The rows of this run's shared file wait, before this process's own.
  void takeUpWaiting(const Text& folder);
  Text sharedAsideName(const Text& folder) const;
  // After keepWaitingAside: the line that says where the waiting rows are;
  // rows in their file are no longer this process's to write.
  std::optional<Text> leaveWaitingAside();

  KeepPictures keep_;
  std::function<void(const Text&)> say_;
  std::optional<Text> loadedFolder_;
  State state_ = State::Unusable;
  bool lineEndOwed_ = false;   // the last row was written without its line end
  bool appendFailed_ = false;  // said once per run
  std::optional<DateTime> runStartedAt_;
  std::optional<DateTime> sharedStart_;  // the run's, given by the process that began it
  std::optional<Text> tellsFor_;
  Text waitingFolder_;              // the folder whose record the rows wait for
  std::deque<WaitingRow> waiting_;  // rows the record did not take yet
  std::optional<Text> asideName_;   // their file, once one was made
  std::size_t asideRows_ = 0;       // how many of them (from the first) it holds
  std::unordered_map<std::string, std::string> latest_;  // address → picture name
  Gallery gallery_;  // kept with the record, row by row
};

}  // namespace sorvane::record
