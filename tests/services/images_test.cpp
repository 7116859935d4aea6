// The image services: what the encoders write, read back by the same
// library's (or system component's) own decoder.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "../support/pictures.h"
#include "services/images.h"

namespace sorvane {
namespace {

using testing::pagePicture;

struct Difference {
  double mean = 0;
  int most = 0;
};

Difference difference(const Pixels& a, const Pixels& b) {
  Difference d;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < a.bgr.size(); ++i) {
    const int delta = std::abs(a.bgr[i] - b.bgr[i]);
    sum += static_cast<std::uint64_t>(delta);
    d.most = std::max(d.most, delta);
  }
  d.mean = static_cast<double>(sum) / static_cast<double>(a.bgr.size());
  return d;
}

TEST(Images, EachFormatReadsBackAsThePicture) {
  // The browser's size, and an odd one that no row padding rounds (dense
  // "text" all over, so JPEG's share of edges, and its noise, is higher).
  struct Size {
    int width, height;
    double meanJpegError;
  };
  for (const auto& [width, height, meanJpegError] : {Size{672, 568, 3.0}, Size{37, 11, 10.0}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const Pixels picture = pagePicture(width, height);

    const ByteSet png = encodePng(picture);
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.bytes()[0], 0x89);
    EXPECT_EQ(png.bytes()[1], 'P');
    const std::optional<Pixels> fromPng = decodePng(png);
    ASSERT_TRUE(fromPng);
    EXPECT_EQ(*fromPng, picture);  // lossless: every byte

    const ByteSet jpeg = encodeJpeg(picture);
    ASSERT_GT(jpeg.size(), 3u);
    EXPECT_EQ(jpeg.bytes()[0], 0xFF);
    EXPECT_EQ(jpeg.bytes()[1], 0xD8);
    const std::optional<Pixels> fromJpeg = decodeJpeg(jpeg);
    ASSERT_TRUE(fromJpeg);
    ASSERT_EQ(fromJpeg->width, width);
    ASSERT_EQ(fromJpeg->height, height);
    const Difference d = difference(*fromJpeg, picture);
    EXPECT_LT(d.mean, meanJpegError);  // quality 90: close everywhere …
    EXPECT_GT(d.most, 0);              // … but not the same bytes
  }
}

// A whole page at its bounds: its earlier picture must read back for its
// change to be figured.
TEST(Images, AWholePageAtItsBoundsReadsBack) {
  Pixels page;
  page.width = 3840;
  page.height = 20000;
  page.bgr.assign(std::size_t{3840} * 20000 * 3, 0xC0);
  for (const bool jpeg : {false, true}) {
    SCOPED_TRACE(jpeg ? "jpeg" : "png");
    const std::optional<Pixels> back =
        jpeg ? decodeJpeg(encodeJpeg(page)) : decodePng(encodePng(page));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::pair(back->width, back->height), std::pair(3840, 20000));
  }
}

TEST(Images, QualityAndSize) {
  const Pixels picture = pagePicture(672, 568);
  const std::size_t bitmap = picture.bgr.size();
  const ByteSet png = encodePng(picture);
  const ByteSet jpeg = encodeJpeg(picture);
  // What a person gains over the bitmap image: a fraction of its size.
  EXPECT_LT(png.size(), bitmap / 4);
  EXPECT_LT(jpeg.size(), bitmap / 4);
  // Wine's imaging component takes no quality and writes its own; Windows
  // and libjpeg make a rougher picture smaller.
  const ByteSet rough = encodeJpeg(picture, 20);
  EXPECT_LE(rough.size(), jpeg.size());
  // The same pixels give the same bytes, which the record relies on.
  EXPECT_EQ(encodePng(picture), png);
  EXPECT_EQ(encodeJpeg(picture), jpeg);
}

TEST(Images, WhatIsNotAPictureGivesNothing) {
  const Pixels picture = pagePicture(64, 48);
  const ByteSet png = encodePng(picture);
  const ByteSet jpeg = encodeJpeg(picture);
  const auto cut = [](const ByteSet& b, std::size_t n) { return ByteSet(b.data(), n); };
  for (const ByteSet& bytes : {ByteSet(), ByteSet::fromString("not a picture at all"),
                               cut(png, png.size() / 2), cut(png, 20)}) {
    EXPECT_FALSE(decodePng(bytes));
  }
  for (const ByteSet& bytes :
       {ByteSet(), ByteSet::fromString("\xFF\xD8\xFF garbage"), cut(jpeg, 30)}) {
    EXPECT_FALSE(decodeJpeg(bytes));
  }
  EXPECT_FALSE(decodeJpeg(png));
  EXPECT_FALSE(decodePng(jpeg));
  Pixels none;
  EXPECT_TRUE(encodePng(none).empty());
  EXPECT_TRUE(encodeJpeg(none).empty());
  Pixels short_ = picture;
  short_.bgr.resize(10);
  EXPECT_TRUE(encodePng(short_).empty());
}

}  // namespace
}  // namespace sorvane
