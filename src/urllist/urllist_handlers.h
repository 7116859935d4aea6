#pragma once
// The address list: adding, deleting, clearing, export and import.

#include <cstdint>
#include <functional>

#include "app/frame.h"
#include "services/values.h"

namespace sorvane::urllist {

// Told the list's new size where the list's handlers set the run's length:
// after an address is added and after an import (not after a delete).
using ListSized = std::function<void(std::int32_t)>;

// addUrl, deleteUrl, clearUrlList, exportUrlList, importUrlList.
void addHandlers(app::HandlerTable& table, ListSized listSized);

void addUrl(app::Frame& frame, const ListSized& listSized);
void deleteUrl(app::Frame& frame);
// Empties the list only: halting a run is the run's (run::haltRun).
void clearUrlList(app::Frame& frame);
void exportUrlList(app::Frame& frame);
void importUrlList(app::Frame& frame, const ListSized& listSized);

// Rebuilds 列表框1 from urlArray and tells the list's size.
void refreshUrlListBox(app::Frame& frame, const ListSized& listSized);
// Whether an entry equals the text byte for byte.
bool urlAlreadyListed(app::Frame& frame, const Text& url);

}  // namespace sorvane::urllist
