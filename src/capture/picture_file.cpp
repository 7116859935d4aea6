#include "capture/picture_file.h"

#include "capture/bmp.h"

namespace sorvane::capture {

Text pictureExtension(ImageFormat format) {
  return format == ImageFormat::Png ? Text(".png") : Text(".jpg");
}

ByteSet encodePicture(const platform::Pixels& pixels, ImageFormat format) {
  switch (format) {
    case ImageFormat::Bmp:
      return encodeBmp(pixels);
    case ImageFormat::Png:
      return encodePng(pixels);
    case ImageFormat::Jpeg:
      return encodeJpeg(pixels);
  }
  return ByteSet();
}

std::optional<platform::Pixels> decodePicture(const ByteSet& bytes) {
  const auto& b = bytes.bytes();
  if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M') return decodeBmp(bytes);
  if (b.size() >= 8 && b[0] == 0x89 && b[1] == 'P' && b[2] == 'N' && b[3] == 'G')
    return decodePng(bytes);
  if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return decodeJpeg(bytes);
  return std::nullopt;
}

}  // namespace sorvane::capture
