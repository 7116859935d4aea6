#pragma once
// Picture files in and out: PNG and JPEG through the system's own imaging
// component where it has one (WIC on Windows) and well-kept libraries where it
// doesn't (libpng and libjpeg-turbo on Linux). Defined once per system:
// images_posix.cpp here, platform/win32/services/images.cpp on Windows.

#include <cstdint>
#include <optional>

#include "services/pixels.h"
#include "services/values.h"

namespace sorvane {

// What a picture is saved as. Bmp is the program's own bitmap image; the
// others go through the encoders below.
enum class ImageFormat { Bmp, Png, Jpeg };

// About what a person saving a screenshot as JPEG would pick: text stays sharp.
inline constexpr int kJpegQuality = 90;

// Empty on any failure (no pixels, the encoder refused).
ByteSet encodePng(const Pixels& pixels);
ByteSet encodeJpeg(const Pixels& pixels, int quality = kJpegQuality);

// The most pixels a decoder gives: every picture this program writes fits,
// and a damaged header cannot ask for gigabytes.
inline constexpr std::uint64_t kMostDecodedPixels = std::uint64_t{1} << 27;

// The pixels of a PNG or a JPEG file image; nothing when the bytes are not one
// the decoder can read whole.
std::optional<Pixels> decodePng(const ByteSet& bytes);
std::optional<Pixels> decodeJpeg(const ByteSet& bytes);

}  // namespace sorvane
