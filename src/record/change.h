#pragma once
// How much a page's picture differs from its earlier one, and where.

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "services/values.h"

namespace sorvane::record {

// A pixel counts as changed when one of its colours moved by more than this:
// enough that the noise of a JPEG saved at quality 90 does not count, little
// enough that grey text on white still does.
inline constexpr int kChangeTolerance = 32;

// Tenths of a percent of the pixels, 0 to 1000. Any changed pixel makes at
// least 1, and 1000 means every pixel changed: "0.0" and "100.0" are never
// rounded to. Pictures of different sizes are laid over each other from the
// top left; what lies outside their overlap counts as changed.
std::int32_t changeTenths(const platform::Pixels& now, const platform::Pixels& before,
                          int tolerance = kChangeTolerance);

// Boxes around the pixels of `now` that changed, near ones joined; laid over
// `before` as changeTenths does, but only the new picture can be framed.
std::vector<platform::Rect> changedAreas(const platform::Pixels& now,
                                         const platform::Pixels& before,
                                         int tolerance = kChangeTolerance);

// A picture's change as the record keeps it: its figure, and the areas where
// the figure is not 0.
struct Change {
  std::int32_t tenths = 0;
  std::vector<platform::Rect> areas;
};

// "0.0" … "100.0".
Text changeText(std::int32_t tenths);

// Draws a red frame around each area, inside the picture.
void frameAreas(platform::Pixels& picture, const std::vector<platform::Rect>& areas);

}  // namespace sorvane::record
