#pragma once
// A picture as the program holds it in memory. Its own header because both the
// desktop seam (captures) and the encoders speak it, and the seam needs nothing
// else of the picture files.

#include <cstdint>
#include <vector>

namespace sorvane {

// Rows top-down, 3 bytes per pixel (blue, green, red), no padding between rows:
// what a capture gives and what the encoders take.
struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;
  friend bool operator==(const Pixels&, const Pixels&) = default;
};

}  // namespace sorvane
