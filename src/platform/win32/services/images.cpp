// PNG and JPEG through the Windows Imaging Component (WIC), which every
// Windows since XP SP3 has. It is reached through COM alone (ole32), so the
// program imports no codec DLL of its own. Linux has images_posix.cpp.

#include "services/images.h"

#include <initguid.h>
#include <objidl.h>
#include <ocidl.h>
#include <wincodec.h>
#include <windows.h>

#include <optional>
#include <utility>

#include "platform/win32/services/com_ptr.h"

namespace sorvane {

namespace {

using platform::win32::ComPtr;

// COM for the calling thread for as long as it lives, unless the thread has
// it already (the program's GUI thread does, for the browser control).
class ComForThread {
 public:
  ComForThread() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  ~ComForThread() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComForThread(const ComForThread&) = delete;
  ComForThread& operator=(const ComForThread&) = delete;

 private:
  HRESULT hr_;
};

bool makeFactory(ComPtr<IWICImagingFactory>& factory) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory,
                                    reinterpret_cast<void**>(factory.put())));
}

bool plausible(const Pixels& pixels) {
  return pixels.width > 0 && pixels.height > 0 &&
         pixels.bgr.size() == static_cast<std::size_t>(pixels.width) * pixels.height * 3;
}

// The bytes an IStream made on global memory holds.
ByteSet streamBytes(IStream* stream) {
  HGLOBAL memory = nullptr;
  if (FAILED(GetHGlobalFromStream(stream, &memory))) return ByteSet();
  STATSTG stat{};
  if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return ByteSet();
  const void* data = GlobalLock(memory);
  if (!data) return ByteSet();
  ByteSet bytes(static_cast<const std::uint8_t*>(data),
                static_cast<std::size_t>(stat.cbSize.QuadPart));
  GlobalUnlock(memory);
  return bytes;
}

ByteSet encode(const Pixels& pixels, const GUID& container, float jpegQuality) {
  if (!plausible(pixels)) return ByteSet();
  ComForThread com;
  ComPtr<IWICImagingFactory> factory;
  if (!makeFactory(factory)) return ByteSet();
  ComPtr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return ByteSet();
  ComPtr<IWICBitmapEncoder> encoder;
  if (FAILED(factory->CreateEncoder(container, nullptr, encoder.put()))) return ByteSet();
  if (FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache))) return ByteSet();
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  if (FAILED(encoder->CreateNewFrame(frame.put(), options.put()))) return ByteSet();
  if (jpegQuality > 0 && options) {
    PROPBAG2 name{};
    name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT value{};
    value.vt = VT_R4;
    value.fltVal = jpegQuality;
    options->Write(1, &name, &value);  // an encoder without the option keeps its own
  }
  if (FAILED(frame->Initialize(options.p))) return ByteSet();
  if (FAILED(frame->SetSize(static_cast<UINT>(pixels.width), static_cast<UINT>(pixels.height))))
    return ByteSet();
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(frame->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR))
    return ByteSet();
  const UINT stride = static_cast<UINT>(pixels.width) * 3;
  if (FAILED(frame->WritePixels(static_cast<UINT>(pixels.height), stride,
                                static_cast<UINT>(pixels.bgr.size()),
                                const_cast<BYTE*>(pixels.bgr.data()))))
    return ByteSet();
  if (FAILED(frame->Commit()) || FAILED(encoder->Commit())) return ByteSet();
  return streamBytes(stream.p);
}

std::optional<Pixels> decode(const ByteSet& bytes, const GUID& container) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return std::nullopt;
  ComForThread com;
  ComPtr<IWICImagingFactory> factory;
  if (!makeFactory(factory)) return std::nullopt;
  ComPtr<IWICStream> stream;
  if (FAILED(factory->CreateStream(stream.put()))) return std::nullopt;
  if (FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size()))))
    return std::nullopt;
  ComPtr<IWICBitmapDecoder> decoder;
  if (FAILED(factory->CreateDecoder(container, nullptr, decoder.put()))) return std::nullopt;
  if (FAILED(decoder->Initialize(stream.p, WICDecodeMetadataCacheOnDemand))) return std::nullopt;
  ComPtr<IWICBitmapFrameDecode> frame;
  if (FAILED(decoder->GetFrame(0, frame.put()))) return std::nullopt;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.put()))) return std::nullopt;
  if (FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom)))
    return std::nullopt;
  UINT width = 0, height = 0;
  if (FAILED(converter->GetSize(&width, &height)) || width == 0 || height == 0) return std::nullopt;
  if (std::uint64_t{width} * height > kMostDecodedPixels) return std::nullopt;
  Pixels pixels;
  pixels.width = static_cast<int>(width);
  pixels.height = static_cast<int>(height);
  pixels.bgr.resize(static_cast<std::size_t>(width) * height * 3);
  if (FAILED(converter->CopyPixels(nullptr, width * 3, static_cast<UINT>(pixels.bgr.size()),
                                   pixels.bgr.data())))
    return std::nullopt;
  return pixels;
}

}  // namespace

ByteSet encodePng(const Pixels& pixels) { return encode(pixels, GUID_ContainerFormatPng, 0.0f); }

ByteSet encodeJpeg(const Pixels& pixels, int quality) {
  const int clamped = quality < 1 ? 1 : quality > 100 ? 100 : quality;
  return encode(pixels, GUID_ContainerFormatJpeg, static_cast<float>(clamped) / 100.0f);
}

std::optional<Pixels> decodePng(const ByteSet& bytes) {
  return decode(bytes, GUID_ContainerFormatPng);
}

std::optional<Pixels> decodeJpeg(const ByteSet& bytes) {
  return decode(bytes, GUID_ContainerFormatJpeg);
}

}  // namespace sorvane
