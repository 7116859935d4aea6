#include "capture/window_pixels.h"

namespace sorvane::capture {

std::optional<platform::Pixels> takePixels(platform::Platform& platform, std::uint32_t handle) {
  if (handle != 0 && !platform.widgetExists(handle)) return std::nullopt;
  std::optional<platform::Pixels> taken = platform.capture(handle);
  if (!taken || taken->width <= 0 || taken->height <= 0) return std::nullopt;
  return taken;
}

}  // namespace sorvane::capture
