// A short demonstration of the program on the simulated platform: a user adds
// two addresses, presses "开始" and waits for the end of the run. Prints what
// happened on the virtual clock. Useful where no display is at hand.

#include <cstdio>

#include "program.h"
#include "platform/sim/sim_platform.h"

using namespace sorvane;

int main() {
  sim::SimPlatform sim;
  run::Run run;
  app::Frame frame(sim, programHandlers(run));
  frame.startUp();
  auto id = [&](app::ControlName name) { return frame.control(name).widget; };

  for (const char* url : {"http://127.0.0.1/one", "http://127.0.0.1/two"}) {
    sim.setEditText(id("编辑框2"), url);
    sim.click(id("按钮2"));
  }
  sim.click(id("按钮1"));
  sim.advance(20000);
  for (const auto& n : sim.navigations())
    std::printf("%6lld ms  navigate %s\n", static_cast<long long>(n.atMs), n.url.c_str());
  for (const auto& b : sim.boxes())
    std::printf("%6lld ms  box \"%s\" (%s)\n", static_cast<long long>(b.openedAtMs),
                b.text.c_str(), b.caption.c_str());
  sim.closeWindow();
  frame.shutdown();
  std::printf("caption now: %s\n", sim.text(id("按钮1")).c_str());
  return 0;
}
