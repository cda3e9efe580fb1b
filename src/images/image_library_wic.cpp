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

#include "images/bitmap_block.h"
#include "images/image_library.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"

namespace pw {

namespace {

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

int32_t pelsPerMetre(double dpi) {
  if (!(dpi > 0) || dpi > 5.0e7) return 0;
  return static_cast<int32_t>(dpi * 10000.0 / 254.0 + 0.5);
}

// WIC's BlackWhite format is 0 black, 1 white, top row first: the rows are copied as they are and
// then put bottom-up.
bool decodeBilevel(IWICBitmapSource* frame, const BmpLayout& layout, unsigned char* block) {
  unsigned char* table = block + kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
  std::memset(table + 4, 0xFF, 3);  // entry 1 white; entry 0 stays black
  unsigned char* pixels = block + layout.pixelOffset;
  const HRESULT hr = frame->CopyPixels(/*prc=*/nullptr, static_cast<UINT>(layout.stride),
                                       static_cast<UINT>(layout.stride * layout.height), pixels);
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
    std::memset(dest, 0, static_cast<std::size_t>(layout.stride));
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

// The whole decode inside one COM scope. Null with the last-error value set.
HeapBlock decodeFirstFrame(HANDLE file) {
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
  // The handle carries no path; the converter's own report that follows names the file.
  if (!planBitmapBlock(width, height, bilevel ? 1 : 24, &layout)) return nullptr;
  HeapBlock block = allocateHeapBlock(static_cast<std::size_t>(layout.totalSize));
  if (!block) return nullptr;
  writeBitmapHeaders(block.get(), layout, pelsPerMetre(dpiX), pelsPerMetre(dpiY));
  const bool decoded = bilevel ? decodeBilevel(frame.get(), layout, block.get())
                               : decodeColour(factory.get(), frame.get(), layout, block.get());
  if (!decoded) return nullptr;
  return block;
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

  HeapBlock render(ImageHandle image) override {
    if (!image) return failNull(kErrorInvalidHandle);
    return decodeFirstFrame(static_cast<HANDLE>(image));
  }

  void close(ImageHandle image) override {
    if (!image) return;
    LastErrorKeeper keep;
    CloseHandle(static_cast<HANDLE>(image));
  }

  const void* locatePixels(const void* bitmapInfo) override { return bitmapPixels(bitmapInfo); }
};

}  // namespace

ImageLibrary& platformImages() {
  static WicImageLibrary library;
  return library;
}

}  // namespace pw
