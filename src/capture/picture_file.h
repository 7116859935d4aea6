#pragma once
// A picture as a file: the bytes for each format, the name's extension, and
// any picture this program may have written, read back.

#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "services/images.h"
#include "services/values.h"

namespace sorvane::capture {

// How large a picture of a whole page may be: well inside what the encoders
// take (JPEG stops at 65,535) and the engines' drawing surfaces (32,767), as
// wide as the widest view, and at most some 230 MB of pixels, of which a
// 32-bit process, with some 2 GB in all, can still hold the drawing, the
// picture and the earlier one it is compared with.
inline constexpr int kFullPageWidthLimit = 3840;
inline constexpr int kFullPageHeightLimit = 20000;
static_assert(std::uint64_t{kFullPageWidthLimit} * kFullPageHeightLimit <= kMostDecodedPixels,
              "a whole page's earlier picture must read back to be compared");

// ".png" for PNG; ".jpg" for JPEG and for the bitmap image, which has always
// been saved under that name.
Text pictureExtension(ImageFormat format);

// Empty when the encoder fails.
ByteSet encodePicture(const platform::Pixels& pixels, ImageFormat format);

// A bitmap image, PNG or JPEG, told apart by its first bytes, not its name.
std::optional<platform::Pixels> decodePicture(const ByteSet& bytes);

}  // namespace sorvane::capture
