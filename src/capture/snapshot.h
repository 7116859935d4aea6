#pragma once
// Pictures of what a window shows, as a 24-bit bitmap file image (BmpImage):
// a 14-byte file header, a 40-byte information header and bottom-up rows of
// blue, green, red, each padded to a multiple of 4 bytes.

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "services/values.h"

namespace sorvane::capture {

inline constexpr std::size_t kBmpHeaderSize = 54;

std::uint32_t bmpRowStride(std::int32_t width);
// Throws std::bad_alloc where the memory for the file image is not there: a
// picture the run takes is then not taken, a snapshot the program asked for
// ends it through the fatal error path.
ByteSet encodeBmp(const platform::Pixels& pixels);

// The wanted size for a captured size n: 0 keeps n, a positive value is taken
// as it is, -p is p percent of n (p at least 10), rounded to the nearest pixel.
std::int32_t wantedSize(std::int32_t captured, std::int32_t requested);

// Scales with an area average, the way a halftone stretch looks.
platform::Pixels scalePixels(const platform::Pixels& source, int width, int height);

// The program's own bitmap images read back (24-bit, either row order); other
// bitmaps are not this program's and give nothing.
std::optional<platform::Pixels> decodeBmp(const ByteSet& bytes);

// The pixels a window shows now, scaled as `snapshot` does; nothing where
// snapshot would give an empty ByteSet.
std::optional<platform::Pixels> takePixels(platform::Platform& platform, std::uint32_t handle,
                                           std::int32_t width = 0, std::int32_t height = 0);

// handle 0 captures the whole primary screen. Every failure gives an empty
// ByteSet: a handle that is not a live window, a wanted size of 0 or less.
ByteSet snapshot(platform::Platform& platform, std::uint32_t handle, std::int32_t width = 0,
                 std::int32_t height = 0);

}  // namespace sorvane::capture
