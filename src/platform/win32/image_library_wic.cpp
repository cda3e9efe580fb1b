// The image library on Windows: the Windows Imaging Component decodes the first frame of a TIFF
// file into the same in-memory BMP as the POSIX library: a BITMAPFILEHEADER, a BITMAPINFOHEADER
// with its colour table and bottom-up rows, in one block. Bilevel frames stay 1 bit per pixel;
// everything else becomes 24-bit BGR laid on white.
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "converter/image_library.h"
#include "platform/last_error.h"
#include "support/heap_block.h"

namespace pw {

namespace {

// Hostile headers can claim any size. 256 MiB bounds the pixel array: 64 Mpixel, an A4 page at
// 600 dpi twice over, while a fax page needs under 1 MiB at 1 bit per pixel.
constexpr uint64_t kMaxImageBytes = uint64_t{256} << 20;
constexpr uint32_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kMaxBmpSide = 0x7FFFFFFF;  // biWidth and biHeight are signed

// Releases a COM interface at the end of its scope.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T** put() { return &p_; }

 private:
  T* p_ = nullptr;
};

// COM for the length of one decode on the calling thread. A thread that already lives in a
// single-threaded apartment keeps it: WIC's objects work in either, and that apartment is the
// host's to end, not ours.
class ComScope {
 public:
  ComScope() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    initialised_ = SUCCEEDED(hr);
    usable_ = initialised_ || hr == RPC_E_CHANGED_MODE;
    result_ = hr;
  }
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  bool usable() const { return usable_; }
  HRESULT result() const { return result_; }

 private:
  bool initialised_ = false;
  bool usable_ = false;
  HRESULT result_ = S_OK;
};

std::nullptr_t failNull(uint32_t code) {
  setLastError(code);
  return nullptr;
}

bool fail(uint32_t code) {
  setLastError(code);
  return false;
}

// The Win32 cause of a failed WIC call: its own code where it carries one, 8 for lack of memory,
// 11 for a file WIC has no decoder for and 13 for any other trouble with the contents.
uint32_t win32FromHresult(HRESULT hr) {
  if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return HRESULT_CODE(hr);
  if (hr == E_OUTOFMEMORY) return kErrorNotEnoughMemory;
  if (hr == WINCODEC_ERR_COMPONENTNOTFOUND || hr == WINCODEC_ERR_UNKNOWNIMAGEFORMAT) {
    return kErrorBadFormat;
  }
  return kErrorInvalidData;
}

bool failHr(HRESULT hr) {
  return fail(win32FromHresult(hr));
}

std::nullptr_t failNullHr(HRESULT hr) {
  return failNull(win32FromHresult(hr));
}

void putU16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void putU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getU32(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

int32_t pelsPerMetre(double dpi) {
  if (!(dpi > 0) || dpi > 5.0e7) return 0;
  return static_cast<int32_t>(dpi * 10000.0 / 254.0 + 0.5);
}

struct BmpLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bitCount = 0;
  uint32_t colours = 0;
  uint32_t stride = 0;
  uint32_t pixelOffset = 0;
  uint32_t totalSize = 0;
};

// False with last error 8 when the image would exceed kMaxImageBytes.
bool planLayout(uint32_t width, uint32_t height, uint16_t bitCount, BmpLayout* layout) {
  if (width > kMaxBmpSide || height > kMaxBmpSide) return fail(kErrorNotEnoughMemory);
  const uint64_t stride = (uint64_t{width} * bitCount + 31) / 32 * 4;
  if (stride > kMaxImageBytes / height) return fail(kErrorNotEnoughMemory);
  layout->width = width;
  layout->height = height;
  layout->bitCount = bitCount;
  layout->colours = bitCount == 1 ? 2 : 0;
  layout->stride = static_cast<uint32_t>(stride);
  layout->pixelOffset =
      static_cast<uint32_t>(kBitmapFileHeaderSize) + kBitmapInfoHeaderSize + 4 * layout->colours;
  layout->totalSize = layout->pixelOffset + static_cast<uint32_t>(stride * height);
  return true;
}

void writeHeaders(unsigned char* block, const BmpLayout& layout, int32_t xPels, int32_t yPels) {
  std::memset(block, 0, layout.pixelOffset);
  block[0] = 'B';
  block[1] = 'M';
  putU32(block + 2, layout.totalSize);
  putU32(block + 10, layout.pixelOffset);
  unsigned char* info = block + kBitmapFileHeaderSize;
  putU32(info, kBitmapInfoHeaderSize);
  putU32(info + 4, layout.width);
  putU32(info + 8, layout.height);  // positive: bottom-up
  putU16(info + 12, 1);
  putU16(info + 14, layout.bitCount);
  putU32(info + 16, BI_RGB);
  putU32(info + 20, layout.stride * layout.height);
  putU32(info + 24, static_cast<uint32_t>(xPels));
  putU32(info + 28, static_cast<uint32_t>(yPels));
  putU32(info + 32, layout.colours);
}

// WIC's BlackWhite format is 0 black, 1 white, top row first: the rows are copied as they are and
// then put bottom-up.
bool decodeBilevel(IWICBitmapSource* frame, const BmpLayout& layout, unsigned char* block) {
  unsigned char* table = block + kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
  std::memset(table + 4, 0xFF, 3);  // entry 1 white; entry 0 stays black
  unsigned char* pixels = block + layout.pixelOffset;
  const HRESULT hr =
      frame->CopyPixels(/*prc=*/nullptr, layout.stride, layout.stride * layout.height, pixels);
  if (FAILED(hr)) return failHr(hr);
  for (uint32_t top = 0, bottom = layout.height - 1; top < bottom; ++top, --bottom) {
    std::swap_ranges(pixels + uint64_t{top} * layout.stride,
                     pixels + uint64_t{top} * layout.stride + layout.stride,
                     pixels + uint64_t{bottom} * layout.stride);
  }
  return true;
}

// Any other format through WIC's converter to premultiplied BGRA, a row at a time, laid on white
// the way the POSIX library does: adding the missing coverage to each channel.
bool decodeColour(IWICImagingFactory* factory, IWICBitmapSource* frame, const BmpLayout& layout,
                  unsigned char* block) {
  ComPtr<IWICFormatConverter> converter;
  HRESULT hr = factory->CreateFormatConverter(converter.put());
  if (SUCCEEDED(hr)) {
    hr = converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                               /*pIPalette=*/nullptr, /*alphaThresholdPercent=*/0.0,
                               WICBitmapPaletteTypeCustom);
  }
  if (FAILED(hr)) return failHr(hr);
  const uint32_t rowBytes = layout.width * 4;  // width * 3 fits kMaxImageBytes, so this fits too
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
  if (!row) return fail(kErrorNotEnoughMemory);
  unsigned char* pixels = block + layout.pixelOffset;
  for (uint32_t y = 0; y < layout.height; ++y) {
    const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(layout.width), 1};
    hr = converter->CopyPixels(&rect, rowBytes, rowBytes, row.get());
    if (FAILED(hr)) return failHr(hr);
    unsigned char* dest = pixels + uint64_t{layout.height - 1 - y} * layout.stride;
    std::memset(dest, 0, layout.stride);
    for (uint32_t x = 0; x < layout.width; ++x) {
      const unsigned char* bgra = row.get() + 4 * x;
      const uint32_t lift = 255u - bgra[3];
      for (int channel = 0; channel < 3; ++channel) {
        const uint32_t value = bgra[channel] + lift;
        dest[3 * x + channel] = static_cast<unsigned char>(value > 255 ? 255 : value);
      }
    }
  }
  return true;
}

struct BlockFreer {
  void operator()(unsigned char* block) const { detail::freeBlock(block); }
};

// The whole decode inside one COM scope. Null with the last-error value set.
unsigned char* decodeFirstFrame(HANDLE file) {
  ComScope com;
  if (!com.usable()) return failNullHr(com.result());
  ComPtr<IWICImagingFactory> factory;
  HRESULT hr =
      CoCreateInstance(CLSID_WICImagingFactory, /*pUnkOuter=*/nullptr, CLSCTX_INPROC_SERVER,
                       IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()));
  if (FAILED(hr)) return failNullHr(hr);

  // The decoder reads through the handle from wherever its position stands.
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    return nullptr;
  }
  ComPtr<IWICBitmapDecoder> decoder;
  hr = factory->CreateDecoderFromFileHandle(reinterpret_cast<ULONG_PTR>(file),
                                            /*pguidVendor=*/nullptr, WICDecodeMetadataCacheOnDemand,
                                            decoder.put());
  if (FAILED(hr)) return failNullHr(hr);
  // The same files as on POSIX: TIFF only, whatever else WIC could decode.
  GUID container{};
  hr = decoder->GetContainerFormat(&container);
  if (FAILED(hr)) return failNullHr(hr);
  if (!IsEqualGUID(container, GUID_ContainerFormatTiff)) return failNull(kErrorBadFormat);

  ComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  WICPixelFormatGUID format{};
  double dpiX = 0;
  double dpiY = 0;
  hr = decoder->GetFrame(0, frame.put());
  if (SUCCEEDED(hr)) hr = frame->GetSize(&width, &height);
  if (SUCCEEDED(hr)) hr = frame->GetPixelFormat(&format);
  if (SUCCEEDED(hr) && FAILED(frame->GetResolution(&dpiX, &dpiY))) dpiX = dpiY = 0;
  if (FAILED(hr)) return failNullHr(hr);
  if (width == 0 || height == 0) return failNull(kErrorInvalidData);

  const bool bilevel = IsEqualGUID(format, GUID_WICPixelFormatBlackWhite);
  BmpLayout layout;
  if (!planLayout(width, height, bilevel ? 1 : 24, &layout)) return nullptr;
  std::unique_ptr<unsigned char, BlockFreer> block(
      static_cast<unsigned char*>(detail::allocateBlock(layout.totalSize)));
  if (!block) return nullptr;
  writeHeaders(block.get(), layout, pelsPerMetre(dpiX), pelsPerMetre(dpiY));
  const bool decoded = bilevel ? decodeBilevel(frame.get(), layout, block.get())
                               : decodeColour(factory.get(), frame.get(), layout, block.get());
  if (!decoded) return nullptr;
  return block.release();
}

// An open image is its file, opened here so that a missing file is told from one that is not a
// TIFF; WIC only sees it while render decodes.
class WicImageLibrary final : public ImageLibrary {
 public:
  ImageHandle open(const char* path) override {
    if (!path) return failNull(kErrorInvalidParameter);
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, /*security=*/nullptr, OPEN_EXISTING,
                    /*dwFlagsAndAttributes=*/0, /*template=*/nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return file;
  }

  void* render(ImageHandle image) override {
    if (!image) return failNull(kErrorInvalidHandle);
    return decodeFirstFrame(static_cast<HANDLE>(image));
  }

  void close(ImageHandle image) override {
    if (!image) return;
    LastErrorKeeper keep;
    CloseHandle(static_cast<HANDLE>(image));
  }

  const void* locatePixels(const void* bitmapInfo) override {
    const auto* info = static_cast<const unsigned char*>(bitmapInfo);
    const uint32_t headerSize = getU32(info);
    const uint32_t bitCount = static_cast<uint32_t>(info[14]) | static_cast<uint32_t>(info[15])
                                                                    << 8;
    const uint32_t compression = getU32(info + 16);
    uint32_t colours = getU32(info + 32);
    if (colours == 0 && bitCount <= 8) colours = 1u << bitCount;
    uint64_t offset = uint64_t{headerSize} + uint64_t{colours} * 4;
    // Three colour masks follow a plain BITMAPINFOHEADER in a BI_BITFIELDS bitmap.
    if (compression == BI_BITFIELDS && headerSize == kBitmapInfoHeaderSize) offset += 12;
    return info + offset;
  }
};

}  // namespace

ImageLibrary& platformImages() {
  static WicImageLibrary library;
  return library;
}

}  // namespace pw
