#pragma once
// The 24-bit bitmap file image (BmpImage), written and read back: a 14-byte
// file header, a 40-byte information header and bottom-up rows of blue,
// green, red, each padded to a multiple of 4 bytes.

#include <cstdint>
#include <optional>

#include "services/pixels.h"
#include "services/values.h"

namespace sorvane::capture {

inline constexpr std::size_t kBmpHeaderSize = 54;

std::uint32_t bmpRowStride(std::int32_t width);
// Throws std::bad_alloc where the memory for the file image is not there: the
// caller decides whether that skips a picture or ends the program.
ByteSet encodeBmp(const Pixels& pixels);

// The program's own bitmap images read back (24-bit, either row order); other
// bitmaps are not this program's and give nothing.
std::optional<Pixels> decodeBmp(const ByteSet& bytes);

}  // namespace sorvane::capture
