#pragma once
// What a window shows now, as pixels, for the run's picture of its browser.

#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace sorvane::capture {

// handle 0 is the whole primary screen. Nothing where there is no picture to
// take: a handle that is not a live window, a capture the desktop refused, or
// one with no pixels in it.
std::optional<platform::Pixels> takePixels(platform::Platform& platform, std::uint32_t handle);

}  // namespace sorvane::capture
