#include "app/program.h"

#include "run/run_handlers.h"
#include "urllist/urllist_handlers.h"

namespace sorvane::app {

HandlerTable programHandlers() {
  HandlerTable table;
  run::addHandlers(table);
  urllist::addHandlers(table);
  return table;
}

int runProgram(platform::Platform& platform) {
  Frame frame(platform, programHandlers());
  return frame.run();
}

}  // namespace sorvane::app
