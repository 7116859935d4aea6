#pragma once
// Program code runs from a desktop's callbacks (a GTK signal, a window
// procedure). An exception must not unwind through the desktop's C frames, so
// it ends here with a line on stderr and the callback gets its fallback.

#include <cstdio>
#include <exception>

namespace sorvane::platform::common {

template <typename R, typename F>
R guarded(R fallback, F&& f) noexcept {
  try {
    return f();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sorvane: exception in an event handler: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "sorvane: unknown exception in an event handler\n");
  }
  return fallback;
}

}  // namespace sorvane::platform::common
