#include "run/run_state.h"

#include <stdexcept>

#include "record/picture_record.h"

namespace sorvane::run {

RunState::RunState() = default;
RunState::~RunState() = default;

RunState& runState(app::Frame& frame) {
  std::unique_ptr<app::HandlerState>& slot = frame.handlerState();
  if (!slot) slot = std::make_unique<RunState>();
  // Only the run keeps state in the frame; anything else there is a bug.
  if (auto* state = dynamic_cast<RunState*>(slot.get())) return *state;
  throw std::logic_error("the frame holds another handler state");
}

}  // namespace sorvane::run
