// The Windows pieces of the module from inside, linked with the static library: the WIC image
// library, the GDI surface on a memory bitmap, error texts, the file reader, the event source's
// registration and the path syntax. The images are those wine_tests.sh setup made in C:\pw\images.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <tuple>

#include "eventlog/event_reporter.h"
#include "eventlog/event_source_win32.h"
#include "images/image_library.h"
#include "platform/file_reader.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "support/path_string.h"
#include "surface/gdi_surface_win32.h"

namespace pw {
namespace {

const std::string kImages = "C:\\pw\\images\\";

// The image decoded into a BMP block, or null with the last-error value.
HeapBlock decode(const std::string& name) {
  const ImageHandle image = platformImages().open((kImages + name).c_str());
  if (!image) return nullptr;
  HeapBlock block = platformImages().render(image);
  const DWORD error = GetLastError();
  platformImages().close(image);
  SetLastError(error);
  return block;
}

BITMAPINFOHEADER headerOf(const HeapBlock& block) {
  BITMAPINFOHEADER header;
  std::memcpy(&header, block.get() + kBitmapFileHeaderSize, sizeof header);
  return header;
}

const unsigned char* pixelsOf(const HeapBlock& block) {
  return static_cast<const unsigned char*>(
      platformImages().locatePixels(block.get() + kBitmapFileHeaderSize));
}

TEST(WicImages, BilevelTiffIsAOneBitBottomUpBlock) {
  const HeapBlock logo = decode("logo.tif");
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(logo.get()), 2), "BM");
  const BITMAPINFOHEADER h = headerOf(logo);
  // Positive height: bottom-up; 7874 pixels a metre: 200 dpi.
  EXPECT_EQ(
      std::tuple(h.biSize, h.biWidth, h.biHeight, h.biBitCount, h.biClrUsed, h.biXPelsPerMeter),
      std::tuple(40u, 240, 120, 1, 2u, 7874));
  EXPECT_EQ(pixelsOf(logo), logo.get() + 14 + 40 + 8);
  // COM stays usable for a host whose thread lives in a single-threaded apartment.
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  EXPECT_NE(decode("logo.tif"), nullptr);
  CoUninitialize();
}

TEST(WicImages, ColourTiffIsBottomUpBgr) {
  const HeapBlock colour = decode("colour.tif");
  ASSERT_NE(colour, nullptr);
  const BITMAPINFOHEADER h = headerOf(colour);
  EXPECT_EQ(std::tuple(h.biBitCount, h.biWidth, h.biHeight), std::tuple(24, 64, 48));
  // The file's top-left pixel is red, its bottom-right one blue: the last row and the first.
  const auto* topLeft = reinterpret_cast<const char*>(pixelsOf(colour) + 47 * (64 * 3));
  const auto* bottomRight = reinterpret_cast<const char*>(pixelsOf(colour) + 63 * 3);
  EXPECT_EQ(std::string(topLeft, 3), std::string("\0\0\xFF", 3));
  EXPECT_EQ(std::string(bottomRight, 3), std::string("\xFF\0\0", 3));
}

// A white 1-bit DIB section, top-down so that rows read like the page, as the memory DC's page.
class GdiSurfaceTest : public testing::Test {
 protected:
  static constexpr int kWidth = 400;
  static constexpr int kStride = (kWidth + 31) / 32 * 4;
  void SetUp() override {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[2];
    } info{{sizeof(BITMAPINFOHEADER), kWidth, -200, 1, 1, BI_RGB, 0, 0, 0, 0, 0},
           {{}, {255, 255, 255, 0}}};
    void* pixels = nullptr;
    bitmap_ = CreateDIBSection(dc_, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                               nullptr, 0);
    ASSERT_NE(pixels, nullptr);
    bits_ = static_cast<unsigned char*>(pixels);
    std::memset(bits_, 0xFF, kStride * 200);
    previous_ = SelectObject(dc_, bitmap_);
  }
  void TearDown() override {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  int blackIn(int x0, int y0, int x1, int y1) const {
    GdiFlush();
    int count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) count += ((bits_[y * kStride + x / 8] >> (7 - x % 8)) & 1) == 0;
    }
    return count;
  }

  HDC dc_ = CreateCompatibleDC(nullptr);
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  unsigned char* bits_ = nullptr;
  GdiSurface surface_{dc_};
};

TEST_F(GdiSurfaceTest, TextHangsFromItsCellsTopLeft) {
  EXPECT_EQ(surface_.getDeviceCaps(kLogPixelsX), GetDeviceCaps(dc_, LOGPIXELSX));
  LOGFONTA font{};
  font.lfHeight = 24;
  std::strcpy(font.lfFaceName, "Courier New");
  const FontHandle created = surface_.createFont(font);
  ASSERT_NE(created, nullptr);
  const FontHandle before = surface_.selectFont(created);
  TextSize size;
  ASSERT_TRUE(surface_.getTextExtent("MMMM", 4, &size));
  EXPECT_GT(size.cx, size.cy);
  surface_.setBkMode(kTransparent);
  EXPECT_EQ(GetBkMode(dc_), TRANSPARENT);
  EXPECT_TRUE(surface_.textOut(10, 10, "MMMM", 4));
  EXPECT_GT(blackIn(10, 10, 10 + size.cx, 10 + size.cy), 0);
  EXPECT_EQ(blackIn(0, 0, 400, 10), 0);
  EXPECT_EQ(blackIn(0, 0, 10, 200), 0);
  EXPECT_EQ(surface_.selectFont(before), created);
  surface_.deleteFont(created);
}

// WIC's rows and colour table, drawn as the converter draws them.
TEST_F(GdiSurfaceTest, ImagesLandTheRightWayUp) {
  // The logo block as the converter passes it: an aligned BITMAPINFO copy and the pixels.
  const HeapBlock logo = decode("logo.tif");
  ASSERT_NE(logo, nullptr);
  alignas(BITMAPINFOHEADER) unsigned char info[40 + 8];
  std::memcpy(info, logo.get() + kBitmapFileHeaderSize, sizeof info);
  EXPECT_EQ(
      surface_.setDIBitsToDevice(/*x=*/100, /*y=*/50, 240, 120, 0, 0, 0, 120, pixelsOf(logo),
                                 reinterpret_cast<const BITMAPINFOHEADER*>(info), DIB_RGB_COLORS),
      120);
  // The image's own top-left block lands at (108..123, 58..73); where an upside-down image
  // would put it (image rows 96..111, clear of the diagonals down to row 104) stays white.
  EXPECT_EQ(blackIn(100, 50, 101, 51), 1);
  EXPECT_EQ(blackIn(108, 58, 124, 74), 16 * 16);
  EXPECT_EQ(blackIn(108, 146, 124, 155), 0);
}

// The system's text comes as it is, with its closing line break; codes it has no text for show
// as signed numbers.
TEST(LastError, ErrorTexts) {
  EXPECT_TRUE(errorText(ERROR_FILE_NOT_FOUND).ends_with(".\r\n"));
  EXPECT_EQ(systemErrorText(0xFFFFFFFFu), "");
  EXPECT_EQ(errorText(0xFFFFFFFFu), "error -1");
  EXPECT_EQ(errorText(0), "error 0");
}

TEST(FileReader, OpensForReadingWithReadSharingOnly) {
  const std::string path = kImages + "notes.tif";
  const auto reader = platformFiles().openForReading(path.c_str());
  ASSERT_NE(reader, nullptr);
  char buffer[8];
  uint32_t got = 0;
  EXPECT_TRUE(reader->read(buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, got), "These ar");
  const HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  while (got != 0) ASSERT_TRUE(reader->read(buffer, sizeof buffer, &got));
}

TEST(EventSource, RegistersOnlyWithAMessageFileThatLoads) {
  EventReporter reporter;
  const std::string key = std::string(kEventSourceKeyPrefix) + "PagewrightUnits";
  const auto registered = [&] {
    return RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TypesSupported", RRF_RT_ANY, nullptr,
                        nullptr, nullptr) == ERROR_SUCCESS;
  };
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  const char* inserts[] = {"x"};

  // A message file that cannot be loaded: nothing is written, nothing is opened.
  reporter.setLevelMask(5);
  EXPECT_EQ(registerSource(reporter, "PagewrightUnits", (kImages + "none.dll").c_str(),
                           kModuleEventCategory),
            0);
  EXPECT_EQ(reporter.levelMask() + reporter.category(), 0u);
  EXPECT_FALSE(registered());
  EXPECT_EQ(reporter.reportEvent(0xC0006D74, inserts, 1), 0);

  // The system's own kernel32 as message file: registered, category kept, reports taken.
  char kernel[MAX_PATH];
  GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), kernel, MAX_PATH);
  EXPECT_EQ(registerSource(reporter, "PagewrightUnits", kernel, kModuleEventCategory), 1);
  EXPECT_EQ(reporter.category(), kModuleEventCategory);
  EXPECT_EQ(reporter.reportEvent(0xC0006D74, inserts, 1), 1);
  EXPECT_TRUE(registered());

  // A report keeps the caller's last-error value.
  SetLastError(77);
  reporter.report(0xC0006D6A);
  EXPECT_EQ(GetLastError(), 77u);

  // close releases once; a second close finds nothing.
  reporter.close();
  EXPECT_EQ(reporter.category(), 0u);
  reporter.close();
  EXPECT_EQ(reporter.reportEvent(0xC0006D74, inserts, 1), 0);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
}

// '\' separates; a drive or UNC component stands on its own; '/' is an ordinary character.
TEST(PathRules, BackslashesDrivesAndUncPaths) {
  const char* const joins[][3] = {
      {"C:\\img", "logo", "C:\\img\\logo"},
      {"C:\\img\\", "logo", "C:\\img\\logo"},
      {"C:\\img", "D:\\pics\\logo", "D:\\pics\\logo"},
      {"C:\\img", "D:logo", "D:logo"},
      {"C:\\img", "\\\\server\\share\\logo", "\\\\server\\share\\logo"},
      {"C:\\img", "\\logo", "C:\\img\\\\logo"},
      {"C:\\img", "a/b", "C:\\img\\a/b"},
  };
  for (const auto& [directory, component, joined] : joins) {
    PathString path(directory);
    path.join(component);
    EXPECT_STREQ(path.text(), joined);
  }
  PathString logo("dir.old\\logo");
  EXPECT_STREQ(logo.extension(), "");
  EXPECT_STREQ(logo.replaceExtension(".tif"), "dir.old\\logo.tif");
  const char* path = "C:\\dir\\Module.dll";
  EXPECT_EQ(fileNamePart(path), path + 7);
  const char* slashed = "dir/Module.dll";
  EXPECT_EQ(fileNamePart(slashed), slashed);
}

}  // namespace
}  // namespace pw
