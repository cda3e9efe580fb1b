// The Windows image path from inside, linked with the static library: what the printing tests
// cannot see, that WIC's blocks are drawn the right way up. The images are those wine_tests.sh
// setup made in C:\pw\images.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <tuple>

#include "images/image_library.h"
#include "platform/heap_block.h"
#include "surface/gdi_surface_win32.h"

namespace pw {
namespace {

// The image decoded into a BMP block: its header, and where its pixels start.
struct Decoded {
  HeapBlock block;
  BITMAPINFOHEADER header{};
  const unsigned char* pixels = nullptr;
};

Decoded decode(const std::string& name) {
  Decoded image;
  const ImageHandle handle = platformImages().open(("C:\\pw\\images\\" + name).c_str());
  if (!handle) return image;
  image.block = platformImages().render(handle);
  platformImages().close(handle);
  if (image.block == nullptr) return image;
  std::memcpy(&image.header, image.block.get() + kBitmapFileHeaderSize, sizeof image.header);
  image.pixels = static_cast<const unsigned char*>(
      platformImages().locatePixels(image.block.get() + kBitmapFileHeaderSize));
  return image;
}

// logo.tif, 240 x 120 with a 16 x 16 block at (8, 8): a 1-bit bottom-up block (positive height,
// 7874 pixels a metre: 200 dpi) with its colour table, which the GDI surface draws the right way
// up onto a white top-down 1-bit DIB section, as the converter passes it: an aligned BITMAPINFO
// copy and the pixels.
TEST(WicImages, LandTheRightWayUp) {
  // COM stays usable for a host whose thread lives in a single-threaded apartment.
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const Decoded logo = decode("logo.tif");
  CoUninitialize();
  ASSERT_NE(logo.pixels, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(logo.block.get()), 2), "BM");
  const BITMAPINFOHEADER& h = logo.header;
  EXPECT_EQ(
      std::tuple(h.biSize, h.biWidth, h.biHeight, h.biBitCount, h.biClrUsed, h.biXPelsPerMeter),
      std::tuple(40u, 240, 120, 1, 2u, 7874));
  EXPECT_EQ(logo.pixels, logo.block.get() + 14 + 40 + 8);

  constexpr int kStride = (400 + 31) / 32 * 4;  // DIB rows are whole DWORDs
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
  } page{{sizeof(BITMAPINFOHEADER), 400, -200, 1, 1, BI_RGB, 0, 0, 0, 0, 0},
         {{}, {255, 255, 255, 0}}};
  const HDC dc = CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  const HBITMAP bitmap =
      CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&page), DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(bits, nullptr);
  std::memset(bits, 0xFF, kStride * 200);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  alignas(BITMAPINFOHEADER) unsigned char info[40 + 8];
  std::memcpy(info, logo.block.get() + kBitmapFileHeaderSize, sizeof info);
  GdiSurface surface(dc);
  EXPECT_EQ(
      surface.setDIBitsToDevice(/*x=*/100, /*y=*/50, 240, 120, 0, 0, 0, 120, logo.pixels,
                                reinterpret_cast<const BITMAPINFOHEADER*>(info), DIB_RGB_COLORS),
      120);
  GdiFlush();
  const auto blackIn = [&](int x0, int y0, int x1, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        count += ((static_cast<unsigned char*>(bits)[y * kStride + x / 8] >> (7 - x % 8)) & 1) == 0;
      }
    }
    return count;
  };
  // The image's own top-left block lands at (108..123, 58..73); where an upside-down image
  // would put it (image rows 96..111, clear of the diagonals down to row 104) stays white.
  EXPECT_EQ(blackIn(100, 50, 101, 51), 1);
  EXPECT_EQ(blackIn(108, 58, 124, 74), 16 * 16);
  EXPECT_EQ(blackIn(108, 146, 124, 155), 0);
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);

  // colour.tif: 24-bit BGR rows, bottom-up; the file's top-left pixel is red, its bottom-right one
  // blue: the last row and the first.
  const Decoded colour = decode("colour.tif");
  ASSERT_NE(colour.pixels, nullptr);
  EXPECT_EQ(std::tuple(colour.header.biBitCount, colour.header.biWidth, colour.header.biHeight),
            std::tuple(24, 64, 48));
  const auto* rows = reinterpret_cast<const char*>(colour.pixels);
  EXPECT_EQ(std::string(rows + 47 * (64 * 3), 3), std::string("\0\0\xFF", 3));
  EXPECT_EQ(std::string(rows + 63 * 3, 3), std::string("\xFF\0\0", 3));
}

}  // namespace
}  // namespace pw
