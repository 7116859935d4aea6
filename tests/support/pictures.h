#pragma once
// Synthetic pictures for the image and change tests: what a page looks like
// to an encoder (flat areas, gradients and sharp-edged "text").

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "services/images.h"

namespace sorvane::testing {

// The picture a widget shows now. A failed capture fails the test and gives
// an empty picture, so the checks on its size that follow fail too.
inline Pixels captured(platform::Platform& desktop, platform::WidgetId widget) {
  std::optional<Pixels> shot = desktop.capture(widget);
  if (!shot) ADD_FAILURE() << "no picture of widget " << widget;
  return shot.value_or(Pixels{});
}

inline Pixels flatPicture(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  Pixels p;
  p.width = width;
  p.height = height;
  p.bgr.resize(static_cast<std::size_t>(width) * height * 3);
  for (std::size_t i = 0; i < p.bgr.size(); i += 3) {
    p.bgr[i] = b;
    p.bgr[i + 1] = g;
    p.bgr[i + 2] = r;
  }
  return p;
}

inline void setPixel(Pixels& p, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  std::uint8_t* q = p.bgr.data() + (static_cast<std::size_t>(y) * p.width + x) * 3;
  q[0] = b;
  q[1] = g;
  q[2] = r;
}

// A white page with a gradient band, a coloured block and rows of dark
// strokes standing in for text.
inline Pixels pagePicture(int width, int height) {
  Pixels p = flatPicture(width, height, 255, 255, 255);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (y < height / 6) {
        setPixel(p, x, y, static_cast<std::uint8_t>(x * 255 / width),
                 static_cast<std::uint8_t>(y * 255 / height), 160);
      } else if (x > width / 2 && y > height / 2 && y < height * 3 / 4) {
        setPixel(p, x, y, 30, 120, 200);
      } else if ((y / 4) % 4 == 1 && (x / 3) % 5 != 0 && x < width / 2) {
        setPixel(p, x, y, 20, 20, 20);
      }
    }
  }
  return p;
}

}  // namespace sorvane::testing
