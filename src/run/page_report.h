#pragma once
// What became of one address: made when its dwell ends (the capture fills in
// its picture), or, for a worker lost on it, by the watcher; written out both
// as the line per page and as the record's row.

#include "record/page_end.h"
#include "record/picture_record.h"
#include "services/values.h"

namespace sorvane::run {

// How a page's dwell ended.
enum class PageOutcome {
  Captured,     // its picture was written
  NotWritten,   // its picture could not be taken or written
  NotCaptured,  // "截图" was off
  Lost,         // the worker that had it was lost before its dwell ended
};

using record::PageEnd;
using record::pageEndWord;

struct PageReport {
  Text url;
  PageOutcome outcome = PageOutcome::NotCaptured;
  PageEnd end = PageEnd::Loaded;
  // The file written, or the one that could not be; empty when none was
  // tried. An unchanged picture that is not kept names the earlier one.
  Text picture;
  // When the picture was taken, or the dwell ended without one.
  DateTime at;
  // With a record: the change since the address's earlier picture ("new",
  // "0.0" … "100.0"). Said only of a picture that was written.
  Text change;
  // A picture of the whole document that stopped at a bound, or the view's
  // own where no memory was found for the whole.
  bool cut = false;

  bool written() const { return outcome == PageOutcome::Captured; }
};

// The report as a row of the record of `folder` (which ends in a separator):
// the picture by its name in the folder.
record::RecordRow recordRow(const PageReport& report, const Text& folder);

}  // namespace sorvane::run
