#include "run/run_handlers.h"

namespace sorvane::run {
void addHandlers(app::HandlerTable&) {}
}  // namespace sorvane::run
