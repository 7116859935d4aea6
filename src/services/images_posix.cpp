// PNG through libpng's simplified interface, JPEG through libjpeg-turbo. The
// Windows build has its own in platform/win32/services/images.cpp (WIC).

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <png.h>

#include "services/images.h"

namespace sorvane {

namespace {

bool plausible(const Pixels& pixels) {
  return pixels.width > 0 && pixels.height > 0 &&
         pixels.bgr.size() == static_cast<std::size_t>(pixels.width) * pixels.height * 3;
}

// libpng's simplified interface frees everything it made once finished or on
// failure; this covers the reader that is given up half-way.
class PngImage {
 public:
  PngImage() {
    std::memset(&image_, 0, sizeof image_);
    image_.version = PNG_IMAGE_VERSION;
  }
  ~PngImage() { png_image_free(&image_); }
  PngImage(const PngImage&) = delete;
  PngImage& operator=(const PngImage&) = delete;
  png_image* get() { return &image_; }

 private:
  png_image image_;
};

// libjpeg reports a fatal error by calling error_exit, which must not return.
// It jumps back to the setjmp in the one function below that drives the
// library, whose locals are all plain values, so nothing is skipped that
// needed its destructor.
struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf back;
};

[[noreturn]] void jumpBack(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1);
}
void stayQuiet(j_common_ptr) {}

// Plain buffers for the setjmp functions: no destructor is ever skipped.
struct JpegOut {
  unsigned char* data = nullptr;
  unsigned long size = 0;
};

bool compressJpeg(const Pixels& pixels, int quality, JpegOut& out) {
  jpeg_compress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jumpBack;
  error.manager.output_message = stayQuiet;
  if (setjmp(error.back)) {
    jpeg_destroy_compress(&info);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &out.data, &out.size);
  info.image_width = static_cast<JDIMENSION>(pixels.width);
  info.image_height = static_cast<JDIMENSION>(pixels.height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  const std::size_t rowBytes = static_cast<std::size_t>(pixels.width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.bgr.data() + info.next_scanline * rowBytes);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

// Decodes into `out`, which the caller has sized once the header said how big.
struct JpegIn {
  const ByteSet* bytes = nullptr;
  Pixels* pixels = nullptr;
};

bool decompressJpeg(JpegIn& in) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jumpBack;
  error.manager.output_message = stayQuiet;
  if (setjmp(error.back)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, in.bytes->data(), static_cast<unsigned long>(in.bytes->size()));
  if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  const std::size_t rowBytes = static_cast<std::size_t>(info.output_width) * 3;
  const std::size_t total = rowBytes * info.output_height;
  // The vector is sized before any scan line is read, so a jump from here on
  // leaves it whole; only its contents are unfinished, and false says so.
  in.pixels->width = static_cast<int>(info.output_width);
  in.pixels->height = static_cast<int>(info.output_height);
  if (in.pixels->bgr.size() != total) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = in.pixels->bgr.data() + info.output_scanline * rowBytes;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  // A file cut short or damaged decodes with grey filling in, and only a
  // warning says so: that is not the picture that was saved.
  return error.manager.num_warnings == 0;
}

// The picture's size from its header alone, so that the pixel buffer exists
// before the decoder runs.
bool jpegSize(const ByteSet& bytes, JDIMENSION& width, JDIMENSION& height) {
  jpeg_decompress_struct info;
  JpegError error;
  info.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jumpBack;
  error.manager.output_message = stayQuiet;
  if (setjmp(error.back)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  const bool ok = jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK;
  if (ok) {
    jpeg_calc_output_dimensions(&info);
    width = info.output_width;
    height = info.output_height;
  }
  jpeg_destroy_decompress(&info);
  return ok;
}

}  // namespace

ByteSet encodePng(const Pixels& pixels) {
  if (!plausible(pixels)) return ByteSet();
  PngImage image;
  png_image* p = image.get();
  p->width = static_cast<png_uint_32>(pixels.width);
  p->height = static_cast<png_uint_32>(pixels.height);
  p->format = PNG_FORMAT_BGR;
  // Fast filtering and compression: a screenshot still shrinks to a small
  // part of its bitmap, at a fraction of the default's time.
  p->flags = PNG_IMAGE_FLAG_FAST;
  const png_int_32 stride = static_cast<png_int_32>(pixels.width * 3);
  // Room for the worst case up front: asking for the size first would
  // encode the picture twice.
  png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(*p);
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(p, out.data(), &size, 0, pixels.bgr.data(), stride, nullptr))
    return ByteSet();
  out.resize(size);
  return ByteSet(std::move(out));
}

std::optional<Pixels> decodePng(const ByteSet& bytes) {
  if (bytes.empty()) return std::nullopt;
  PngImage image;
  png_image* p = image.get();
  if (!png_image_begin_read_from_memory(p, bytes.data(), bytes.size())) return std::nullopt;
  if (static_cast<std::uint64_t>(p->width) * p->height > kMostDecodedPixels) return std::nullopt;
  p->format = PNG_FORMAT_BGR;
  Pixels pixels;
  pixels.width = static_cast<int>(p->width);
  pixels.height = static_cast<int>(p->height);
  pixels.bgr.resize(PNG_IMAGE_SIZE(*p));
  // A picture with transparency is shown over white, as a viewer would.
  png_color white{255, 255, 255};
  if (!png_image_finish_read(p, &white, pixels.bgr.data(), 0, nullptr)) return std::nullopt;
  return pixels;
}

ByteSet encodeJpeg(const Pixels& pixels, int quality) {
  if (!plausible(pixels)) return ByteSet();
  JpegOut out;
  const bool ok = compressJpeg(pixels, quality, out);
  ByteSet result;
  if (ok && out.data) result = ByteSet(out.data, out.size);
  std::free(out.data);
  return result;
}

std::optional<Pixels> decodeJpeg(const ByteSet& bytes) {
  if (bytes.size() < 4 || bytes.size() > std::numeric_limits<unsigned long>::max())
    return std::nullopt;
  JDIMENSION width = 0, height = 0;
  if (!jpegSize(bytes, width, height) || width == 0 || height == 0) return std::nullopt;
  if (static_cast<std::uint64_t>(width) * height > kMostDecodedPixels) return std::nullopt;
  Pixels pixels;
  pixels.bgr.resize(static_cast<std::size_t>(width) * height * 3);
  JpegIn in{&bytes, &pixels};
  if (!decompressJpeg(in)) return std::nullopt;
  return pixels;
}

}  // namespace sorvane
