#include "capture/bmp.h"

#include <cstring>
#include <vector>

namespace sorvane::capture {
namespace {

void putLe16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void putLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::uint32_t bmpRowStride(std::int32_t width) {
  return ((24u * static_cast<std::uint32_t>(width) + 31u) / 32u) * 4u;
}

ByteSet encodeBmp(const Pixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0) return ByteSet();
  const std::uint32_t stride = bmpRowStride(pixels.width);
  const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(pixels.height);
  const std::size_t total = kBmpHeaderSize + imageSize;
  std::vector<std::uint8_t> out(total, 0);
  std::uint8_t* h = out.data();
  h[0] = 'B';
  h[1] = 'M';
  putLe32(h + 2, static_cast<std::uint32_t>(total));
  putLe32(h + 10, kBmpHeaderSize);  // no palette at 24 bits per pixel
  putLe32(h + 14, 40);
  putLe32(h + 18, static_cast<std::uint32_t>(pixels.width));
  putLe32(h + 22, static_cast<std::uint32_t>(pixels.height));  // positive: bottom-up
  putLe16(h + 26, 1);
  putLe16(h + 28, 24);
  putLe32(h + 34, imageSize);
  const std::size_t rowBytes = static_cast<std::size_t>(pixels.width) * 3;
  for (int y = 0; y < pixels.height; ++y) {
    const std::uint8_t* src = pixels.bgr.data() + static_cast<std::size_t>(y) * rowBytes;
    std::uint8_t* dst =
        h + kBmpHeaderSize + static_cast<std::size_t>(pixels.height - 1 - y) * stride;
    std::memcpy(dst, src, rowBytes);
  }
  return ByteSet(std::move(out));
}

std::optional<Pixels> decodeBmp(const ByteSet& bytes) {
  const std::uint8_t* h = bytes.data();
  auto le32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(h[at]) | static_cast<std::uint32_t>(h[at + 1]) << 8 |
           static_cast<std::uint32_t>(h[at + 2]) << 16 |
           static_cast<std::uint32_t>(h[at + 3]) << 24;
  };
  if (bytes.size() < kBmpHeaderSize || h[0] != 'B' || h[1] != 'M') return std::nullopt;
  const std::uint32_t offset = le32(10);
  const auto width = static_cast<std::int32_t>(le32(18));
  const auto rawHeight = static_cast<std::int32_t>(le32(22));
  const bool bitsOk = h[28] == 24 && h[29] == 0 && le32(30) == 0;  // 24 bits, uncompressed
  if (!bitsOk || width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 65535)
    return std::nullopt;
  const bool bottomUp = rawHeight > 0;
  const std::int32_t height = bottomUp ? rawHeight : -rawHeight;
  if (height > 65535) return std::nullopt;
  const std::uint64_t stride = bmpRowStride(width);
  if (offset < kBmpHeaderSize ||
      offset + stride * static_cast<std::uint64_t>(height) > bytes.size())
    return std::nullopt;
  Pixels pixels;
  pixels.width = width;
  pixels.height = height;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  pixels.bgr.resize(rowBytes * height);
  for (std::int32_t y = 0; y < height; ++y) {
    const std::int32_t stored = bottomUp ? height - 1 - y : y;
    std::memcpy(pixels.bgr.data() + rowBytes * y, h + offset + stride * stored, rowBytes);
  }
  return pixels;
}

}  // namespace sorvane::capture
