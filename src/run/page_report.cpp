#include "run/page_report.h"

namespace sorvane::run {

record::RecordRow recordRow(const PageReport& report, const Text& folder) {
  record::RecordRow row{report.at, report.url, Text(), report.end, Text()};
  if (report.written()) {
    // A picture outside the folder (the folder changed while it was taken)
    // cannot be named in it.
    if (!report.picture.bytes().starts_with(folder.bytes())) return row;
    row.picture = Text(report.picture.bytes().substr(folder.size()));
    // The record keeps its five columns, so that earlier records still read;
    // a picture stopped at the height bound says so beside its change.
    row.change = report.cut ? report.change + Text(" cut") : report.change;
    return row;
  }
  switch (report.outcome) {
    case PageOutcome::NotCaptured: row.why = record::NoPicture::NotTaken; break;
    case PageOutcome::NotWritten: row.why = record::NoPicture::NotSaved; break;
    case PageOutcome::Captured:
    case PageOutcome::Lost: break;
  }
  return row;
}

}  // namespace sorvane::run
