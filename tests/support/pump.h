#pragma once
// Waiting on a loop that a test drives itself: the loop's own round is the
// caller's (a GLib iteration, a round of window messages), the deadline and
// the checks are shared.

#include <chrono>

namespace sorvane::testing {

// Runs `pumpOnce` until `done()` holds or `timeoutMs` has passed; returns
// whether `done()` held. `done()` is checked before the first round, so a
// condition already true pumps nothing.
template <typename Done, typename PumpOnce>
bool pumpUntil(Done&& done, double timeoutMs, PumpOnce&& pumpOnce) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::duration<double, std::milli>(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    pumpOnce();
  }
  return true;
}

// Runs `pumpOnce` for `ms` milliseconds.
template <typename PumpOnce>
void pumpFor(double ms, PumpOnce&& pumpOnce) {
  pumpUntil([] { return false; }, ms, pumpOnce);
}

}  // namespace sorvane::testing
