#pragma once
// What became of one address: made once, when its dwell ends (or, for a worker
// lost on it, by the watcher), and written out both as the line per page and
// as the record's row.

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

// How the page of an address ended.
enum class PageEnd {
  Loaded,    // the page loaded; the picture shows it
  TimedOut,  // its time-out ended the load; the picture shows it as it stood
  Failed,    // the engine could not load it; the picture shows the engine's page
  Blank,     // nothing of its own to show; the picture is a blank page
};
// "loaded", "timeout", "failed", "blank".
const char* pageEndWord(PageEnd end);

struct PageReport {
  Text url;
  PageOutcome outcome = PageOutcome::NotCaptured;
  PageEnd end = PageEnd::Loaded;
  // The file written, or the one that could not be; empty when none was tried.
  Text picture;
  DateTime at;
  // With a record: the change since the address's earlier picture ("new",
  // "0.0" … "100.0"). Said only of a picture that was written.
  Text change;
  // A picture of the whole document that stopped at the height bound.
  bool cut = false;

  bool written() const { return outcome == PageOutcome::Captured; }
};

// The report as a row of the record of `folder` (which ends in a separator):
// the picture by its name in the folder.
record::RecordRow recordRow(const PageReport& report, const Text& folder);

}  // namespace sorvane::run
