#include "record/change.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace sorvane::record {

namespace {

// Changed pixels are gathered in cells of this many pixels a side; cells with
// a change that lie within kJoin cells of each other share one frame, so a
// paragraph that moved gets one box rather than one per letter.
constexpr int kCell = 8;
constexpr int kJoin = 2;
constexpr int kFrameWidth = 2;

bool holdsItsPixels(const platform::Pixels& p) {
  return p.width > 0 && p.height > 0 &&
         p.bgr.size() == static_cast<std::size_t>(p.width) * p.height * 3;
}

// Pictures of different sizes (another --size, a page grown longer) are laid
// over each other from the top left: what lies inside their overlap is
// compared pixel by pixel, and changed(x, y) hears of each pixel that moved.
template <class Changed>
void compareOverlap(const platform::Pixels& now, const platform::Pixels& before, int tolerance,
                    Changed&& changed) {
  const int sharedWidth = std::min(now.width, before.width);
  const int sharedHeight = std::min(now.height, before.height);
  for (int y = 0; y < sharedHeight; ++y) {
    const std::uint8_t* a = now.bgr.data() + static_cast<std::size_t>(y) * now.width * 3;
    const std::uint8_t* b = before.bgr.data() + static_cast<std::size_t>(y) * before.width * 3;
    for (int x = 0; x < sharedWidth; ++x) {
      const std::size_t i = static_cast<std::size_t>(x) * 3;
      const int d = std::max(
          {std::abs(a[i] - b[i]), std::abs(a[i + 1] - b[i + 1]), std::abs(a[i + 2] - b[i + 2])});
      if (d > tolerance) changed(x, y);
    }
  }
}

}  // namespace

std::int32_t changeTenths(const platform::Pixels& now, const platform::Pixels& before,
                          int tolerance) {
  if (now.width <= 0 || now.height <= 0) return 0;
  if (!holdsItsPixels(now) || !holdsItsPixels(before)) return 1000;
  // What lies outside the overlap is changed.
  const std::uint64_t total = static_cast<std::uint64_t>(std::max(now.width, before.width)) *
                              std::max(now.height, before.height);
  std::uint64_t changed = total - static_cast<std::uint64_t>(std::min(now.width, before.width)) *
                                      std::min(now.height, before.height);
  compareOverlap(now, before, tolerance, [&](int, int) { ++changed; });
  std::uint64_t tenths = (changed * 1000 + total / 2) / total;
  if (changed > 0 && tenths == 0) tenths = 1;
  if (changed < total && tenths == 1000) tenths = 999;
  return static_cast<std::int32_t>(tenths);
}

std::vector<platform::Rect> changedAreas(const platform::Pixels& now,
                                         const platform::Pixels& before, int tolerance) {
  if (now.width <= 0 || now.height <= 0) return {};
  if (!holdsItsPixels(now) || !holdsItsPixels(before)) return {{0, 0, now.width, now.height}};
  const int sharedWidth = std::min(now.width, before.width);
  const int sharedHeight = std::min(now.height, before.height);
  // Cells are kept over the new picture alone: only there can a change be framed.
  const int columns = (now.width + kCell - 1) / kCell;
  const int rows = (now.height + kCell - 1) / kCell;
  std::vector<std::uint8_t> cells(static_cast<std::size_t>(columns) * rows, 0);
  for (int cy = 0; cy < rows; ++cy) {
    for (int cx = 0; cx < columns; ++cx) {
      // A cell holding some of the new picture outside the overlap.
      if (std::min((cx + 1) * kCell, now.width) > sharedWidth ||
          std::min((cy + 1) * kCell, now.height) > sharedHeight)
        cells[static_cast<std::size_t>(cy) * columns + cx] = 1;
    }
  }
  compareOverlap(now, before, tolerance, [&](int x, int y) {
    cells[static_cast<std::size_t>(y / kCell) * columns + x / kCell] = 1;
  });

  // Joined cells, by a flood over the grid; each group gets the box of its cells.
  std::vector<platform::Rect> areas;
  std::vector<int> stack;
  for (int start = 0; start < columns * rows; ++start) {
    if (cells[start] != 1) continue;
    int left = columns, top = rows, right = -1, bottom = -1;
    cells[start] = 2;
    stack.push_back(start);
    while (!stack.empty()) {
      const int cell = stack.back();
      stack.pop_back();
      const int cx = cell % columns, cy = cell / columns;
      left = std::min(left, cx);
      right = std::max(right, cx);
      top = std::min(top, cy);
      bottom = std::max(bottom, cy);
      for (int ny = std::max(0, cy - kJoin); ny <= std::min(rows - 1, cy + kJoin); ++ny) {
        for (int nx = std::max(0, cx - kJoin); nx <= std::min(columns - 1, cx + kJoin); ++nx) {
          const int next = ny * columns + nx;
          if (cells[next] == 1) {
            cells[next] = 2;
            stack.push_back(next);
          }
        }
      }
    }
    const int x0 = left * kCell, y0 = top * kCell;
    const int x1 = std::min(now.width, (right + 1) * kCell),
              y1 = std::min(now.height, (bottom + 1) * kCell);
    areas.push_back({x0, y0, x1 - x0, y1 - y0});
  }
  return areas;
}

Text changeText(std::int32_t tenths) {
  tenths = std::clamp(tenths, 0, 1000);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%d.%d", tenths / 10, tenths % 10);
  return Text(buffer);
}

void frameAreas(platform::Pixels& picture, const std::vector<platform::Rect>& areas) {
  auto paint = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
    std::uint8_t* p = picture.bgr.data() + (static_cast<std::size_t>(y) * picture.width + x) * 3;
    p[0] = 0;
    p[1] = 0;
    p[2] = 255;
  };
  for (const platform::Rect& area : areas) {
    // Just outside the changed area where there is room, so the frame hides
    // none of what changed.
    const int x0 = std::max(0, area.left - kFrameWidth);
    const int y0 = std::max(0, area.top - kFrameWidth);
    const int x1 = std::min(picture.width, area.left + area.width + kFrameWidth);
    const int y1 = std::min(picture.height, area.top + area.height + kFrameWidth);
    for (int t = 0; t < kFrameWidth; ++t) {
      for (int x = x0; x < x1; ++x) {
        paint(x, y0 + t);
        paint(x, y1 - 1 - t);
      }
      for (int y = y0; y < y1; ++y) {
        paint(x0 + t, y);
        paint(x1 - 1 - t, y);
      }
    }
  }
}

}  // namespace sorvane::record
