// The Windows pieces of the module tested from inside, linked with the static library: the WIC
// image library, the GDI surface on a memory bitmap, error texts, the file reader and the event
// source's registration. Run under Wine with the images that "print_host make-images" wrote.
//
//   units_host <image directory>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>

#include "eventlog/event_reporter.h"
#include "eventlog/event_source_win32.h"
#include "host_check.h"
#include "images/image_library.h"
#include "platform/file_reader.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "surface/gdi_surface_win32.h"

namespace {

using Block = pw::HeapBlock;

BITMAPINFOHEADER headerOf(const unsigned char* block) {
  BITMAPINFOHEADER header;
  std::memcpy(&header, block + pw::kBitmapFileHeaderSize, sizeof header);
  return header;
}

// Decodes path with the platform's image library; null with the last-error value on failure.
Block decode(const std::string& path) {
  pw::ImageLibrary& images = pw::platformImages();
  const pw::ImageHandle image = images.open(path.c_str());
  if (!image) return nullptr;
  Block block = images.render(image);
  const DWORD error = GetLastError();
  images.close(image);
  SetLastError(error);
  return block;
}

// Whether the pixel at (x, y), counted from the top left, of a 1-bit image block is black.
bool blackAt(const unsigned char* block, int x, int y) {
  const BITMAPINFOHEADER header = headerOf(block);
  const unsigned char* info = block + pw::kBitmapFileHeaderSize;
  const auto* pixels = static_cast<const unsigned char*>(pw::platformImages().locatePixels(info));
  const int stride = (header.biWidth + 31) / 32 * 4;
  const int row = header.biHeight > 0 ? header.biHeight - 1 - y : y;
  const int index = (pixels[row * stride + x / 8] >> (7 - x % 8)) & 1;
  const unsigned char* entry = info + header.biSize + 4 * index;
  return entry[0] == 0 && entry[1] == 0 && entry[2] == 0;
}

void imageLibraryTests(const std::string& directory) {
  host::note("-- image library (WIC)");
  Block logo = decode(directory + "\\logo.tif");
  if (CHECK(logo != nullptr)) {
    const unsigned char* block = logo.get();
    CHECK(block[0] == 'B' && block[1] == 'M');
    const BITMAPINFOHEADER header = headerOf(block);
    CHECK_EQ(header.biSize, 40);
    CHECK_EQ(header.biWidth, 240);
    CHECK_EQ(header.biHeight, 120);  // bottom-up
    CHECK_EQ(header.biBitCount, 1);
    CHECK_EQ(header.biClrUsed, 2);
    CHECK_EQ(header.biXPelsPerMeter, 7874);  // 200 dpi
    const void* pixels = pw::platformImages().locatePixels(block + pw::kBitmapFileHeaderSize);
    CHECK(pixels == block + 14 + 40 + 8);
    // The block at (8..23, 8..23) is near the top left, not the bottom left or top right.
    CHECK(blackAt(block, 0, 0));
    CHECK(blackAt(block, 12, 12));
    CHECK(!blackAt(block, 12, 120 - 13));
    CHECK(!blackAt(block, 240 - 13, 12));
    CHECK(!blackAt(block, 60, 10));
  }

  Block colour = decode(directory + "\\colour.tif");
  if (CHECK(colour != nullptr)) {
    const BITMAPINFOHEADER header = headerOf(colour.get());
    CHECK_EQ(header.biBitCount, 24);
    CHECK_EQ(header.biWidth, 64);
    CHECK_EQ(header.biHeight, 48);
    const auto* pixels = static_cast<const unsigned char*>(
        pw::platformImages().locatePixels(colour.get() + pw::kBitmapFileHeaderSize));
    const int stride = (64 * 3 + 3) / 4 * 4;
    // The file's top-left pixel is red (255, 0, 0): the last row of the bottom-up block, in BGR.
    const unsigned char* topLeft = pixels + 47 * stride;
    CHECK_EQ(topLeft[0], 0);
    CHECK_EQ(topLeft[1], 0);
    CHECK_EQ(topLeft[2], 255);
    // Its bottom-right pixel is (3, 235, 252).
    const unsigned char* bottomRight = pixels + 63 * 3;
    CHECK_EQ(bottomRight[0], 252);
    CHECK_EQ(bottomRight[1], 235);
    CHECK_EQ(bottomRight[2], 3);
  }

  SetLastError(0);
  CHECK(decode(directory + "\\notes.tif") == nullptr);
  CHECK_EQ(GetLastError(), ERROR_BAD_FORMAT);
  SetLastError(0);
  CHECK(pw::platformImages().open((directory + "\\none.tif").c_str()) == nullptr);
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  CHECK(pw::platformImages().render(nullptr) == nullptr);
  CHECK_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // COM stays usable for a host whose thread lives in a single-threaded apartment.
  CHECK(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  CHECK(decode(directory + "\\logo.tif") != nullptr);
  CoUninitialize();
}

// A 1-bit DIB section, white, as the memory DC's page.
struct MemoryPage {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ previous = nullptr;
  unsigned char* bits = nullptr;
  int width = 0;
  int height = 0;

  MemoryPage(int w, int h) : width(w), height(h) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[2];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = w;
    info.header.biHeight = -h;  // top-down, so that rows read like the page
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.colours[1] = {255, 255, 255, 0};
    dc = CreateCompatibleDC(nullptr);
    void* pixels = nullptr;
    bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels,
                              nullptr, 0);
    bits = static_cast<unsigned char*>(pixels);
    if (bits) std::memset(bits, 0xFF, static_cast<std::size_t>(stride()) * h);
    previous = SelectObject(dc, bitmap);
  }
  ~MemoryPage() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  int stride() const { return (width + 31) / 32 * 4; }
  bool black(int x, int y) const {
    GdiFlush();
    return ((bits[y * stride() + x / 8] >> (7 - x % 8)) & 1) == 0;
  }
  int blackIn(int x0, int y0, int x1, int y1) const {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) count += black(x, y) ? 1 : 0;
    }
    return count;
  }
};

void gdiSurfaceTests(const std::string& directory) {
  host::note("-- GDI surface");
  MemoryPage page(400, 200);
  if (!CHECK(page.bits != nullptr)) return;
  pw::GdiSurface surface(page.dc);
  CHECK(surface.getDeviceCaps(pw::kLogPixelsX) > 0);
  CHECK(surface.getDeviceCaps(pw::kLogPixelsY) > 0);

  LOGFONTA font{};
  font.lfHeight = 24;
  std::strcpy(font.lfFaceName, "Courier New");
  const pw::FontHandle created = surface.createFont(font);
  if (!CHECK(created != nullptr)) return;
  const pw::FontHandle before = surface.selectFont(created);
  CHECK(before != nullptr);
  pw::TextSize size;
  CHECK(surface.getTextExtent("MMMM", 4, &size));
  CHECK(size.cx > 20 && size.cy > 10);
  CHECK_EQ(surface.setBkMode(pw::kTransparent), OPAQUE);
  CHECK_EQ(surface.setBkMode(pw::kTransparent), TRANSPARENT);
  // Text drawn with its cell's top left at (10, 10): ink inside the cell, none above or left.
  CHECK(surface.textOut(10, 10, "MMMM", 4));
  CHECK(page.blackIn(10, 10, 10 + size.cx, 10 + size.cy) > 0);
  CHECK_EQ(page.blackIn(0, 0, 400, 10), 0);
  CHECK_EQ(page.blackIn(0, 0, 10, 200), 0);
  CHECK(surface.selectFont(before) == created);
  surface.deleteFont(created);

  // The logo block as the converter passes it: an aligned BITMAPINFO copy and the pixels.
  Block logo = decode(directory + "\\logo.tif");
  if (!CHECK(logo != nullptr)) return;
  const unsigned char* info = logo.get() + pw::kBitmapFileHeaderSize;
  alignas(BITMAPINFOHEADER) unsigned char infoCopy[40 + 8];
  std::memcpy(infoCopy, info, sizeof infoCopy);
  const void* pixels = pw::platformImages().locatePixels(info);
  const int lines = surface.setDIBitsToDevice(
      /*x=*/100, /*y=*/50, 240, 120, 0, 0, 0, 120, pixels,
      reinterpret_cast<const BITMAPINFOHEADER*>(infoCopy), DIB_RGB_COLORS);
  CHECK_EQ(lines, 120);
  // The image's own top-left block lands at (108..123, 58..73); where an upside-down image
  // would put it (image rows 96..111, clear of the diagonals down to row 104) stays white.
  CHECK(page.black(100, 50));
  CHECK_EQ(page.blackIn(108, 58, 124, 74), 16 * 16);
  CHECK_EQ(page.blackIn(108, 146, 124, 155), 0);

  // A memory DC is no printer: no document starts on it.
  CHECK(surface.startDoc("memory") < 1);
}

void errorTextTests() {
  host::note("-- error texts");
  const std::string notFound = pw::systemErrorText(ERROR_FILE_NOT_FOUND);
  CHECK(notFound.size() > 2);
  // The system's text comes as it is, with its closing line break.
  CHECK(notFound.size() >= 2 && notFound.compare(notFound.size() - 2, 2, "\r\n") == 0);
  CHECK_TEXT(pw::systemErrorText(0xFFFFFFFFu), "");
  CHECK_TEXT(pw::errorText(0xFFFFFFFFu), "error -1");
  CHECK_TEXT(pw::errorText(0), "error 0");
  CHECK_TEXT(pw::errorText(ERROR_FILE_NOT_FOUND), notFound);
  pw::setLastError(1234);
  CHECK_EQ(GetLastError(), 1234);
  SetLastError(4321);
  CHECK_EQ(pw::lastError(), 4321);
}

void fileReaderTests(const std::string& directory) {
  host::note("-- file reader");
  SetLastError(0);
  CHECK(pw::platformFiles().openForReading((directory + "\\none.txt").c_str()) == nullptr);
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  CHECK(pw::platformFiles().openForReading((directory + "\\none\\x.txt").c_str()) == nullptr);
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  const std::string path = directory + "\\notes.tif";
  auto reader = pw::platformFiles().openForReading(path.c_str());
  if (!CHECK(reader != nullptr)) return;
  char buffer[8];
  uint32_t got = 0;
  CHECK(reader->read(buffer, sizeof buffer, &got));
  CHECK_EQ(got, 8);
  CHECK(std::memcmp(buffer, "These ar", 8) == 0);
  // Read sharing only: nobody may open the file for writing while it is read.
  const HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  CHECK(writer == INVALID_HANDLE_VALUE);
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  while (got != 0) CHECK(reader->read(buffer, sizeof buffer, &got));
}

class CountingSink final : public pw::EventSink {
 public:
  bool write(const pw::EventRecord& record) override {
    ++count;
    lastId = record.id;
    return true;
  }
  int count = 0;
  uint32_t lastId = 0;
};

void registrationTests(const std::string& directory) {
  host::note("-- event source registration");
  pw::EventReporter reporter;
  const std::string key = std::string(pw::kEventSourceKeyPrefix) + "PagewrightUnits";
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());

  // A message file that cannot be loaded: nothing is written, nothing is opened.
  reporter.setLevelMask(5);
  CHECK_EQ(pw::registerSource(reporter, "PagewrightUnits", (directory + "\\none.dll").c_str(),
                              pw::kModuleEventCategory),
           0);
  CHECK_EQ(reporter.levelMask(), 0);
  CHECK_EQ(reporter.category(), 0);
  HKEY opened = nullptr;
  CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS);
  if (opened) RegCloseKey(opened);
  const char* inserts[] = {"x"};
  CHECK_EQ(reporter.reportEvent(0xC0006D74, inserts, 1), 0);

  // The system's own kernel32 as message file: registered, category kept, reports taken.
  char kernel[MAX_PATH];
  GetModuleFileNameA(GetModuleHandleA("kernel32.dll"), kernel, MAX_PATH);
  CHECK_EQ(pw::registerSource(reporter, "PagewrightUnits", kernel, pw::kModuleEventCategory), 1);
  CHECK_EQ(reporter.category(), pw::kModuleEventCategory);
  const char* more[] = {"x", ""};
  CHECK_EQ(reporter.reportEvent(0xC0006D74, more, 2), 1);
  CHECK_TEXT(std::string(more[1]), "null");
  CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS);
  if (opened) RegCloseKey(opened);

  // A report keeps the caller's last-error value; reportError leaves its code.
  SetLastError(77);
  reporter.report(0xC0006D6A);
  CHECK_EQ(GetLastError(), 77);
  reporter.reportError(0xC0006D74, "x", ERROR_ACCESS_DENIED);
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);

  // A host's sink takes precedence while it is set.
  CountingSink sink;
  reporter.setHostSink(&sink);
  reporter.report(0x80006D9C, "file");
  CHECK_EQ(sink.count, 1);
  CHECK_EQ(sink.lastId, 0x80006D9C);
  reporter.setHostSink(nullptr);

  // close releases once; a second close finds nothing.
  reporter.close();
  CHECK_EQ(reporter.category(), 0);
  reporter.close();
  CHECK_EQ(reporter.reportEvent(0xC0006D74, inserts, 1), 0);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: units_host <image directory>\n");
    return 2;
  }
  const std::string directory = argv[1];
  imageLibraryTests(directory);
  gdiSurfaceTests(directory);
  errorTextTests();
  fileReaderTests(directory);
  registrationTests(directory);
  return host::finish("units_host");
}
