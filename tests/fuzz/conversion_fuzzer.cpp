// A whole conversion of arbitrary bytes with markup on and every job field set, onto a surface
// that checks its own use. The first bytes choose the page description; the rest is the text.
// "%3" names a small file and "@/logo@/n" a small TIFF, both made at start-up, and reading is
// confined to their directory, so that references elsewhere cannot block on devices or FIFOs.
#include <tiffio.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "checking_surface.h"
#include "converter/converter.h"
#include "fuzz_support.h"
#include "pagewright/pagewright.h"

namespace {

struct Setup {
  std::string directory;
  std::string text;                 // the input's file
  std::vector<std::string> values;  // job field values in the line-list layout
  JobFields fields{};
};

void writeFile(const std::string& path, const void* data, std::size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || (size != 0 && std::fwrite(data, 1, size, file) != size)) std::abort();
  std::fclose(file);
}

// A 24 x 8 Group 4 image of bars.
void writeLogo(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) std::abort();
  const std::pair<ttag_t, int> tags[] = {{TIFFTAG_IMAGEWIDTH, 24},
                                         {TIFFTAG_IMAGELENGTH, 8},
                                         {TIFFTAG_BITSPERSAMPLE, 1},
                                         {TIFFTAG_ROWSPERSTRIP, 8},
                                         {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE},
                                         {TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4}};
  for (const auto& [tag, value] : tags) TIFFSetField(tif, tag, value);
  for (uint32_t row = 0; row < 8; ++row) {
    uint8_t line[3] = {0xF0, static_cast<uint8_t>(row), 0x0F};
    TIFFWriteScanline(tif, line, row, 0);
  }
  TIFFClose(tif);
}

Setup& setup() {
  static Setup* made = [] {
    auto* s = new Setup;
    std::string pattern = scratchPattern("pagewright-fuzz");
    if (!mkdtemp(pattern.data())) std::abort();
    s->directory = pattern;
    s->text = s->directory + "/fuzz.txt";
    writeLogo(s->directory + "/logo.tif");
    const std::string insert = s->directory + "/insert.txt";
    const char kInsert[] = "Inserted line one\r\n\r\n#BFnot markup#NF <ToName> %3\n";
    writeFile(insert, kInsert, sizeof kInsert - 1);
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) {
      std::string lines = i == 3 ? insert : "Field " + std::to_string(i) + "\nsecond #BF <ToName>";
      for (char& c : lines) c = c == '\n' ? '\0' : c;
      s->values.push_back(lines + std::string(2, '\0'));
    }
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) s->fields.entries[i] = s->values[i].data();
    const char* const readable[] = {s->directory.c_str()};
    if (pwSetReadableDirectories(readable, 1) != 1) std::abort();
    silenceReports();
    return s;
  }();
  return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Setup& s = setup();
  if (size < 4) return 0;
  RenderParams params{};
  params.font.lfHeight = 1 + data[0] % 40;
  params.font.lfWeight = 400;
  std::strcpy(params.font.lfFaceName, "Courier New");
  params.lineSpacingMm = data[1] % 8;
  // Small pages and wide margins too: margins that leave no room are part of the contract.
  params.pageWidthMm = 20 + data[2];
  params.pageHeightMm = 20 + data[3];
  params.topMarginMm = data[1] >> 4;
  params.bottomMarginMm = data[2] % 16;
  params.leftMarginMm = data[3] % 16;
  params.rightMarginMm = data[0] >> 4;
  params.directivesEnabled = 1;
  params.imageDirectory = s.directory.c_str();

  writeFile(s.text, data + 4, size - 4);
  pw::ConversionServices services;
  // Bit 3 of the second byte, which the line spacing and top margin leave unused.
  services.keepAllText = (data[1] & 0x08) != 0;
  pw::fuzzing::CheckingSurface surface;
  uint32_t pages = 0;
  (void)pw::convertText(&params, &surface, s.text.c_str(), 0, &s.fields, &pages, services);
  surface.requireFinished();
  return 0;
}
