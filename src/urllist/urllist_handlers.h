#pragma once
// The address list: adding, deleting, clearing, export and import.

#include "app/frame.h"

namespace sorvane::urllist {

// addUrl, deleteUrl, clearUrlList, exportUrlList, importUrlList.
void addHandlers(app::HandlerTable& table);

}  // namespace sorvane::urllist
