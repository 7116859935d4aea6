#include "program.h"

#include "run/run_handlers.h"
#include "urllist/urllist_handlers.h"

namespace sorvane {

app::HandlerTable programHandlers() {
  app::HandlerTable table;
  run::addHandlers(table);
  urllist::addHandlers(table);
  return table;
}

int runProgram(platform::Platform& platform) {
  app::Frame frame(platform, programHandlers());
  return frame.run();
}

}  // namespace sorvane
