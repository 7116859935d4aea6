// The seam's promises, on the simulated platform.

#include "platform/sim/sim_platform.h"
#include "../support/seam_conformance.h"

namespace sorvane::testing {
namespace {

class SimRig final : public SeamRig {
 public:
  SimRig() {
    sim_.setAutoActivate(false);
    platform::WidgetSpec top;
    top.kind = platform::WidgetKind::TopLevel;
    top.rect = {0, 0, 1079, 649};
    top.visible = true;
    window_ = sim_.createWidget(top);
    sim_.setPageColour(page(Page::Red), 255, 0, 0);
    sim::LoadScript silent;
    silent.neverEnds = silent.drawsNothing = true;
    sim_.scriptLoad(page(Page::Silent), silent);
    sim::LoadScript failing;
    failing.durationMs = 100;
    failing.fails = true;
    sim_.scriptLoad(page(Page::Closed), failing);
    sim_.scriptLoad(page(Page::Blocked), failing);
  }
  platform::Platform& platform() override { return sim_; }
  platform::WidgetId window() override { return window_; }
  void pumpFor(int ms) override { sim_.advanceTo(sim_.now() + ms); }
  void answerNextBoxAfter(int ms) override { sim_.answerBoxes({{sim::kFirstButton, ms}}); }
  bool exactTime() const override { return true; }
  std::string page(Page which) override {
    switch (which) {
      case Page::Red: return "http://127.0.0.1:8000/red";
      case Page::Silent: return "http://127.0.0.1:8000/silent";
      case Page::Closed: return "http://127.0.0.1:1/";
      case Page::Blocked: break;
    }
    return "http://127.0.0.1:9/";
  }

 private:
  sim::SimPlatform sim_;
  platform::WidgetId window_ = 0;
};

std::unique_ptr<SeamRig> makeRig() { return std::make_unique<SimRig>(); }

INSTANTIATE_TEST_SUITE_P(Simulated, SeamConformance, ::testing::Values(&makeRig));

}  // namespace
}  // namespace sorvane::testing
