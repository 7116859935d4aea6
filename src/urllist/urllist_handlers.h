#pragma once
// The address list: adding, deleting, clearing, export and import.

#include "app/frame.h"
#include "services/values.h"

namespace sorvane::urllist {

// addUrl, deleteUrl, clearUrlList, exportUrlList, importUrlList.
void addHandlers(app::HandlerTable& table);

void addUrl(app::Frame& frame);
void deleteUrl(app::Frame& frame);
// Empties the list only: halting a run is the run's (run::haltRun).
void clearUrlList(app::Frame& frame);
void exportUrlList(app::Frame& frame);
void importUrlList(app::Frame& frame);

// Rebuilds 列表框1 from urlArray and makes runCount the list's size.
void refreshUrlListBox(app::Frame& frame);
// Whether an entry equals the text byte for byte.
bool urlAlreadyListed(app::Frame& frame, const Text& url);

}  // namespace sorvane::urllist
