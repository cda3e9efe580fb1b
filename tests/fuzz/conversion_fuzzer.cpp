// A whole conversion of arbitrary bytes with markup on and every job field set, onto a surface
// that checks its own use. The first bytes choose the page description; the rest is the text.
// "%3" names a small file and "@/logo@/n" a small TIFF, both made at start-up, and reading is
// confined to their directory, so that references elsewhere cannot block on devices or FIFOs.
#include <tiffio.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "checking_surface.h"
#include "converter/converter.h"
#include "eventlog/event_reporter.h"
#include "pagewright/pagewright.h"
#include "scratch.h"

namespace {

using pw::fuzzing::CheckingSurface;

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

class MemoryOpener final : public pw::FileOpener {
 public:
  std::unique_ptr<pw::FileReader> openForReading(const char*) override {
    return std::make_unique<MemoryReader>(data, size);
  }
  const uint8_t* data = nullptr;
  std::size_t size = 0;
};

class NullSink final : public pw::EventSink {
 public:
  bool write(const pw::EventRecord&) override { return true; }
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

void writeLogo(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) std::abort();
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 24);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 8);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 8);
  for (uint32_t row = 0; row < 8; ++row) {
    uint8_t line[3] = {0xF0, static_cast<uint8_t>(row), 0x0F};
    TIFFWriteScanline(tif, line, row, 0);
  }
  TIFFClose(tif);
}

Setup& setup() {
  static Setup* made = [] {
    auto* s = new Setup;
    std::string scratch = scratchPattern("pagewright-fuzz");
    char* pattern = scratch.data();
    if (!mkdtemp(pattern)) std::abort();
    s->directory = pattern;
    writeLogo(s->directory + "/logo.tif");
    const std::string insert = s->directory + "/insert.txt";
    FILE* file = std::fopen(insert.c_str(), "wb");
    std::fputs("Inserted line one\r\n\r\n#BFnot markup#NF <ToName> %3\n", file);
    std::fclose(file);
    s->values.resize(PW_JOB_FIELD_COUNT);
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) {
      s->values[i] =
          lineList(i == 3 ? insert : "Field " + std::to_string(i) + "\nsecond #BF <ToName>");
    }
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) s->fields.entries[i] = s->values[i].data();
    const char* const readable[] = {s->directory.c_str()};
    if (pwSetReadableDirectories(readable, 1) != 1) std::abort();
    static NullSink sink;
    pw::moduleReporter().setHostSink(&sink);
    return s;
  }();
  return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Setup& s = setup();
  constexpr std::size_t kParamBytes = 4;
  if (size < kParamBytes) return 0;
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
  opener.data = data + kParamBytes;
  opener.size = size - kParamBytes;
  pw::ConversionServices services;
  services.files = &opener;
  // Bit 3 of the second byte, which the line spacing and top margin leave unused.
  services.keepAllText = (data[1] & 0x08) != 0;
  CheckingSurface surface;
  uint32_t pages = 0;
  (void)pw::convertText(&params, &surface, "fuzz.txt", 0, &s.fields, &pages, services);
  surface.requireFinished();
  return 0;
}
