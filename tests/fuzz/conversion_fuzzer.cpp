// A whole conversion of arbitrary bytes with markup on and every job field set, onto a surface
// that checks its own use. The first bytes choose the page description; the rest is the text.
// "%3" names a small file and "@/logo@/n" a small TIFF, both made at start-up, and reading is
// confined to their directory, so that references elsewhere cannot block on devices or FIFOs.
#include <tiffio.h>

#include <cstring>
#include <memory>
#include <vector>

#include "checking_surface.h"
#include "converter/converter.h"
#include "fuzz_support.h"
#include "pagewright/pagewright.h"

namespace {

// The bytes of the current input as the text file.
class MemoryReader final : public pw::FileReader {
 public:
  MemoryReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    const std::size_t n = std::min<std::size_t>(size, size_ - at_);
    // A null data pointer comes with size 0; memcpy must not see it.
    if (n != 0) std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    *got = static_cast<uint32_t>(n);
    return true;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

struct MemoryOpener final : pw::FileOpener {
  std::unique_ptr<pw::FileReader> openForReading(const char*) override {
    return std::make_unique<MemoryReader>(data, size);
  }
  const uint8_t* data = nullptr;
  std::size_t size = 0;
};

struct Setup {
  std::string directory;
  std::vector<std::string> values;  // job field values in the line-list layout
  JobFields fields{};
};

std::string lineList(const std::string& lines) {
  std::string value;
  for (char c : lines) value += c == '\n' ? '\0' : c;
  return value + std::string(2, '\0');
}

// A 24 x 8 Group 4 image of bars.
void writeLogo(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) std::abort();
  const std::pair<ttag_t, int> tags[] = {{TIFFTAG_IMAGEWIDTH, 24},
                                         {TIFFTAG_IMAGELENGTH, 8},
                                         {TIFFTAG_BITSPERSAMPLE, 1},
                                         {TIFFTAG_SAMPLESPERPIXEL, 1},
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
    writeLogo(s->directory + "/logo.tif");
    const std::string insert = s->directory + "/insert.txt";
    FILE* file = std::fopen(insert.c_str(), "wb");
    std::fputs("Inserted line one\r\n\r\n#BFnot markup#NF <ToName> %3\n", file);
    std::fclose(file);
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) {
      s->values.push_back(
          lineList(i == 3 ? insert : "Field " + std::to_string(i) + "\nsecond #BF <ToName>"));
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

  MemoryOpener opener;
  opener.data = data + 4;
  opener.size = size - 4;
  pw::ConversionServices services;
  services.files = &opener;
  // Bit 3 of the second byte, which the line spacing and top margin leave unused.
  services.keepAllText = (data[1] & 0x08) != 0;
  pw::fuzzing::CheckingSurface surface;
  uint32_t pages = 0;
  (void)pw::convertText(&params, &surface, "fuzz.txt", 0, &s.fields, &pages, services);
  surface.requireFinished();
  return 0;
}
