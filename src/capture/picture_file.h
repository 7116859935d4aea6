#pragma once
// A picture as a file: the bytes for each format, the name's extension, and
// any picture this program may have written, read back.

#include <optional>

#include "platform/platform.h"
#include "services/images.h"
#include "services/values.h"

namespace sorvane::capture {

// How tall a picture of a whole page may be: well inside what the encoders
// take (JPEG stops at 65,535) and the engine's drawing surfaces (32,767), and
// at the widest view (3840) some 230 MB of pixels.
inline constexpr int kFullPageHeightLimit = 20000;

// ".png" for PNG; ".jpg" for JPEG and for the bitmap image, which has always
// been saved under that name.
Text pictureExtension(ImageFormat format);

// Empty when the encoder fails.
ByteSet encodePicture(const platform::Pixels& pixels, ImageFormat format);

// A bitmap image, PNG or JPEG, told apart by its first bytes, not its name.
std::optional<platform::Pixels> decodePicture(const ByteSet& bytes);

}  // namespace sorvane::capture
