// Prints through Pagewright.dll on a real GDI printer DC: Wine's PostScript driver with a file as
// its port, so that the pages can be checked with Ghostscript afterwards. Also drives the
// conversion's failures that only a real device context shows.
//
//   print_host install <printer> <output.ps>
//   print_host make-images <directory>
//   print_host convert <dll> <printer> <text> <pages> [--markup] [--images <dir>]
//                      [--field <index>=<value>]... [--face <name>] [--size <points>]
//                      [--error <code>]   (a failure with that last-error value is expected)
//   print_host missing <dll> <printer>
//   print_host memory-dc <dll> <text>
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host_check.h"

namespace {

constexpr char kDriverName[] = "Wine PostScript Driver";

// Wine's generic PPD, the one its spooler falls back on, ends at the first NUL of the resource.
bool extractGenericPpd(const std::string& path) {
  const HMODULE winspool = GetModuleHandleA("winspool.drv");
  const HRSRC resource =
      winspool ? FindResourceA(winspool, MAKEINTRESOURCEA(1), "PPDFILE") : nullptr;
  const HGLOBAL loaded = resource ? LoadResource(winspool, resource) : nullptr;
  const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!CHECK(data != nullptr)) return false;
  DWORD size = SizeofResource(winspool, resource);
  if (const void* end = std::memchr(data, 0, size))
    size = static_cast<DWORD>(static_cast<const char*>(end) - data);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!CHECK(file != nullptr)) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return CHECK(std::fclose(file) == 0 && written);
}

int install(const char* printer, const char* port) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string ppd = std::string(temp) + "pagewright-generic.ppd";
  if (!extractGenericPpd(ppd)) return host::finish("print_host install");

  DRIVER_INFO_3A driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<char*>(kDriverName);
  driver.pDriverPath = const_cast<char*>("wineps.drv");
  driver.pDataFile = const_cast<char*>(ppd.c_str());
  driver.pConfigFile = const_cast<char*>("wineps.drv");
  driver.pDefaultDataType = const_cast<char*>("RAW");
  if (!AddPrinterDriverExA(nullptr, 3, reinterpret_cast<BYTE*>(&driver),
                           APD_COPY_NEW_FILES | APD_COPY_FROM_DIRECTORY)) {
    host::note("AddPrinterDriverExA failed: %lu", GetLastError());
    CHECK(false);
    return host::finish("print_host install");
  }

  PRINTER_INFO_2A info{};
  info.pPrinterName = const_cast<char*>(printer);
  info.pPortName = const_cast<char*>(port);
  info.pDriverName = const_cast<char*>(kDriverName);
  info.pPrintProcessor = const_cast<char*>("WinPrint");
  info.pDatatype = const_cast<char*>("RAW");
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  HANDLE added = AddPrinterA(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!added && GetLastError() != ERROR_PRINTER_ALREADY_EXISTS) {
    host::note("AddPrinterA failed: %lu", GetLastError());
    CHECK(false);
  }
  if (added) ClosePrinter(added);
  const HDC dc = CreateDCA(nullptr, printer, nullptr, nullptr);
  if (CHECK(dc != nullptr)) {
    host::note("printer %s: %d x %d dpi, %d x %d pixels", printer, GetDeviceCaps(dc, LOGPIXELSX),
               GetDeviceCaps(dc, LOGPIXELSY), GetDeviceCaps(dc, HORZRES),
               GetDeviceCaps(dc, VERTRES));
    DeleteDC(dc);
  }
  return host::finish("print_host install");
}

void putU16(std::vector<unsigned char>& out, unsigned value) {
  out.push_back(static_cast<unsigned char>(value));
  out.push_back(static_cast<unsigned char>(value >> 8));
}

void putU32(std::vector<unsigned char>& out, unsigned long value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

struct Entry {
  unsigned tag, type;
  unsigned long count, value;
};

// An uncompressed little-endian TIFF: the pixels, then the directory, then the resolution (200
// dpi) that both resolution entries point at and, for several samples, their bit counts.
bool writeTiff(const std::string& path, const std::vector<unsigned char>& pixels, unsigned samples,
               unsigned bits, std::vector<Entry> entries) {
  constexpr unsigned long kPixelOffset = 8;
  const auto pixelBytes = static_cast<unsigned long>(pixels.size());
  const unsigned long ifdOffset = kPixelOffset + pixelBytes;
  const unsigned long resolutionOffset =
      ifdOffset + 2 + 12 * static_cast<unsigned long>(entries.size() + 7) + 4;
  const unsigned long bitsOffset = resolutionOffset + 8;
  entries.push_back({258, 3, samples, samples == 1 ? bits : bitsOffset});
  entries.push_back({277, 3, 1, samples});
  entries.push_back({273, 4, 1, kPixelOffset});
  entries.push_back({279, 4, 1, pixelBytes});
  entries.push_back({282, 5, 1, resolutionOffset});
  entries.push_back({283, 5, 1, resolutionOffset});
  entries.push_back({296, 3, 1, 2});  // inches
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  std::vector<unsigned char> out = {'I', 'I', 42, 0};
  putU32(out, ifdOffset);
  out.insert(out.end(), pixels.begin(), pixels.end());
  putU16(out, static_cast<unsigned>(entries.size()));
  for (const Entry& entry : entries) {
    putU16(out, entry.tag);
    putU16(out, entry.type);
    putU32(out, entry.count);
    if (entry.type == 3 && entry.count == 1) {
      putU16(out, static_cast<unsigned>(entry.value));
      putU16(out, 0);
    } else {
      putU32(out, entry.value);
    }
  }
  putU32(out, 0);
  putU32(out, 200);
  putU32(out, 1);
  if (samples > 1) {
    for (unsigned i = 0; i < samples; ++i) putU16(out, bits);
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!CHECK(file != nullptr)) return false;
  const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
  return CHECK(std::fclose(file) == 0 && written);
}

// Writes into directory: logo.tif, bilevel (0 white), a frame with both diagonals and a 16 x 16
// block at (8, 8), 240 x 120;
// colour.tif, 8-bit RGB, a red-to-blue gradient, 64 x 48; notes.tif, text that is no image.
int makeImages(const std::string& directory) {
  constexpr unsigned kWidth = 240;
  constexpr unsigned kHeight = 120;
  constexpr unsigned kStride = kWidth / 8;
  std::vector<unsigned char> pixels(kStride * kHeight, 0);
  auto set = [&](unsigned x, unsigned y) { pixels[y * kStride + x / 8] |= 0x80 >> (x % 8); };
  for (unsigned x = 0; x < kWidth; ++x) {
    for (unsigned t = 0; t < 4; ++t) {
      set(x, t);
      set(x, kHeight - 1 - t);
    }
    const unsigned y = x * kHeight / kWidth;
    set(x, y);
    set(x, kHeight - 1 - y);
  }
  for (unsigned y = 0; y < kHeight; ++y) {
    for (unsigned t = 0; t < 4; ++t) {
      set(t, y);
      set(kWidth - 1 - t, y);
    }
  }
  // A block near the top-left corner tells up from down and left from right.
  for (unsigned y = 8; y < 24; ++y) {
    for (unsigned x = 8; x < 24; ++x) set(x, y);
  }
  writeTiff(directory + "\\logo.tif", pixels, /*samples=*/1, /*bits=*/1,
            {{256, 3, 1, kWidth},
             {257, 3, 1, kHeight},
             {259, 3, 1, 1},
             {262, 3, 1, 0},
             {278, 3, 1, kHeight}});

  constexpr unsigned kColourWidth = 64;
  constexpr unsigned kColourHeight = 48;
  std::vector<unsigned char> rgb;
  for (unsigned y = 0; y < kColourHeight; ++y) {
    for (unsigned x = 0; x < kColourWidth; ++x) {
      rgb.push_back(static_cast<unsigned char>(255 - x * 4));
      rgb.push_back(static_cast<unsigned char>(y * 5));
      rgb.push_back(static_cast<unsigned char>(x * 4));
    }
  }
  writeTiff(directory + "\\colour.tif", rgb, /*samples=*/3, /*bits=*/8,
            {{256, 3, 1, kColourWidth},
             {257, 3, 1, kColourHeight},
             {259, 3, 1, 1},
             {262, 3, 1, 2},
             {278, 3, 1, kColourHeight}});

  FILE* notes = std::fopen((directory + "\\notes.tif").c_str(), "wb");
  if (CHECK(notes != nullptr)) {
    std::fputs("These are notes, not an image.\r\n", notes);
    CHECK(std::fclose(notes) == 0);
  }
  return host::finish("print_host make-images");
}

RenderParams pageFor(const char* face, int points) {
  RenderParams params{};
  params.font.lfHeight = points;
  params.font.lfWeight = FW_NORMAL;
  params.font.lfCharSet = ANSI_CHARSET;
  params.font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  std::snprintf(params.font.lfFaceName, sizeof params.font.lfFaceName, "%s", face);
  params.pageWidthMm = 210;
  params.pageHeightMm = 297;
  params.topMarginMm = 15;
  params.bottomMarginMm = 10;
  params.leftMarginMm = 10;
  params.rightMarginMm = 10;
  return params;
}

// One line list per field value: the value, its NUL and the empty line that ends the list.
struct Fields {
  JobFields table{};
  std::vector<std::string> values;  // kept alive for table
};

int convert(int argc, char** argv) {
  const char* dllPath = argv[2];
  const char* printer = argv[3];
  const char* text = argv[4];
  const unsigned expectedPages = static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10));
  const char* face = "Courier New";
  int points = 10;
  bool markup = false;
  const char* images = nullptr;
  unsigned long expectedError = 0;
  Fields fields;
  fields.values.reserve(PW_JOB_FIELD_COUNT);
  for (int i = 6; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--markup") {
      markup = true;
    } else if (option == "--images" && i + 1 < argc) {
      images = argv[++i];
    } else if (option == "--face" && i + 1 < argc) {
      face = argv[++i];
    } else if (option == "--error" && i + 1 < argc) {
      expectedError = std::strtoul(argv[++i], nullptr, 10);
    } else if (option == "--size" && i + 1 < argc) {
      points = std::atoi(argv[++i]);
    } else if (option == "--field" && i + 1 < argc) {
      const std::string field = argv[++i];
      const std::size_t equals = field.find('=');
      const int index = equals == std::string::npos ? -1 : std::atoi(field.c_str());
      if (!CHECK(index >= 0 && index < PW_JOB_FIELD_COUNT))
        return host::finish("print_host convert");
      fields.values.push_back(field.substr(equals + 1) + std::string(1, '\0'));
      fields.table.entries[index] = fields.values.back().c_str();
    } else {
      host::note("unknown option %s", option.c_str());
      return 2;
    }
  }

  const host::Module module = host::loadModule(dllPath);
  if (!CHECK(module.convert != nullptr)) return host::finish("print_host convert");
  const HDC dc = CreateDCA(nullptr, printer, nullptr, nullptr);
  if (!CHECK(dc != nullptr)) return host::finish("print_host convert");

  RenderParams params = pageFor(face, points);
  params.directivesEnabled = markup ? 1 : 0;
  params.imageDirectory = images;
  const HGDIOBJ fontBefore = GetCurrentObject(dc, OBJ_FONT);
  uint32_t pages = 12345;
  SetLastError(0xDEAD);
  const int result = module.convert(&params, dc, text, 0, &fields.table, &pages);
  const DWORD error = GetLastError();
  host::note("%s: result %d, %u page(s), last error %lu", text, result, pages, error);
  CHECK_EQ(result, expectedError == 0 ? 1 : 0);
  CHECK_EQ(error, expectedError);
  CHECK_EQ(pages, expectedPages);
  // The device context goes back to the host with the font it had.
  CHECK(GetCurrentObject(dc, OBJ_FONT) == fontBefore);
  DeleteDC(dc);
  return host::finish("print_host convert");
}

int missing(const char* dllPath, const char* printer) {
  const host::Module module = host::loadModule(dllPath);
  if (!CHECK(module.convert != nullptr)) return host::finish("print_host missing");
  const HDC dc = CreateDCA(nullptr, printer, nullptr, nullptr);
  if (!CHECK(dc != nullptr)) return host::finish("print_host missing");
  const RenderParams params = pageFor("Courier New", 10);

  uint32_t pages = 12345;
  SetLastError(0);
  int result =
      module.convert(&params, dc, "C:\\no such directory\\..\\missing.txt", 0, nullptr, &pages);
  host::note("missing file: result %d, %u page(s), last error %lu", result, pages, GetLastError());
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(result, 0);
  CHECK_EQ(pages, 0);

  pages = 12345;
  SetLastError(0);
  result = module.convert(&params, dc, "C:\\no such directory\\missing.txt", 0, nullptr, &pages);
  host::note("missing directory: result %d, %u page(s), last error %lu", result, pages,
             GetLastError());
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK_EQ(result, 0);
  CHECK_EQ(pages, 0);

  // No text file named: reported, nothing else happens.
  pages = 12345;
  result = module.convert(&params, dc, "", 0, nullptr, &pages);
  CHECK_EQ(result, 0);
  CHECK_EQ(pages, 0);
  DeleteDC(dc);
  return host::finish("print_host missing");
}

// A memory DC has no document to start: the conversion ends at StartDoc with the cause GDI gave,
// after handing the DC back with its own font.
int memoryDc(const char* dllPath, const char* text) {
  const host::Module module = host::loadModule(dllPath);
  if (!CHECK(module.convert != nullptr)) return host::finish("print_host memory-dc");
  const HDC dc = CreateCompatibleDC(nullptr);
  if (!CHECK(dc != nullptr)) return host::finish("print_host memory-dc");

  DOCINFOA info{};
  info.cbSize = sizeof info;
  info.lpszDocName = "probe";
  SetLastError(0);
  const int probe = StartDocA(dc, &info);
  const DWORD gdiError = GetLastError();
  host::note("StartDocA on a memory DC: %d, last error %lu", probe, gdiError);
  CHECK(probe < 1);

  const RenderParams params = pageFor("Courier New", 10);
  const HGDIOBJ fontBefore = GetCurrentObject(dc, OBJ_FONT);
  uint32_t pages = 12345;
  SetLastError(0xDEAD);
  const int result = module.convert(&params, dc, text, 0, nullptr, &pages);
  const DWORD error = GetLastError();
  host::note("pagewright on a memory DC: result %d, %u page(s), last error %lu", result, pages,
             error);
  CHECK_EQ(result, 0);
  CHECK_EQ(pages, 0);
  CHECK_EQ(error, gdiError);
  CHECK(GetCurrentObject(dc, OBJ_FONT) == fontBefore);
  DeleteDC(dc);
  return host::finish("print_host memory-dc");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "install" && argc == 4) return install(argv[2], argv[3]);
  if (command == "make-images" && argc == 3) return makeImages(argv[2]);
  if (command == "convert" && argc >= 6) return convert(argc, argv);
  if (command == "missing" && argc == 4) return missing(argv[2], argv[3]);
  if (command == "memory-dc" && argc == 4) return memoryDc(argv[2], argv[3]);
  std::fprintf(stderr, "usage: see the comment at the top of print_host.cpp\n");
  return 2;
}
