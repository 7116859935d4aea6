#pragma once
// Waiting on a loop that a test drives itself: the loop's own round is the
// caller's (a GLib iteration, a round of window messages), the deadline and
// the checks are shared.

#include <chrono>
#include <type_traits>

namespace sorvane::testing {

// Runs rounds of `pump` until `done()` holds or `timeoutMs` has passed;
// returns whether `done()` held. `done()` is checked before the first round,
// so a condition already true pumps nothing.
//
// `pump()` does one round and returns. A loop that can only be entered and
// left whole (its own quit ends it) takes `pump(over)` instead and returns
// once `over()`, the end of the wait, holds: a loop that a round's quit would
// end too early, such as one nested inside it, then runs on undisturbed.
template <typename Done, typename Pump>
bool pumpUntil(Done&& done, double timeoutMs, Pump&& pump) {
  const auto end = std::chrono::steady_clock::now() +
                   std::chrono::duration<double, std::milli>(timeoutMs);
  const auto past = [&] { return std::chrono::steady_clock::now() > end; };
  const auto over = [&] { return done() || past(); };
  while (!done()) {
    if (past()) return false;
    if constexpr (std::is_invocable_v<Pump&, decltype(over)&>)
      pump(over);
    else
      pump();
  }
  return true;
}

// Runs rounds of `pump` for `ms` milliseconds.
template <typename Pump>
void pumpFor(double ms, Pump&& pump) {
  pumpUntil([] { return false; }, ms, pump);
}

}  // namespace sorvane::testing
