#include "urllist/urllist_handlers.h"

namespace sorvane::urllist {
void addHandlers(app::HandlerTable&) {}
}  // namespace sorvane::urllist
