// A whole conversion of arbitrary bytes with markup on and every job field set, onto a surface
// that checks its own use. The first bytes choose the page description; the rest is the text.
// "%3" names a small file and "@/logo@/n" a small TIFF, both put in place at start-up, and reading
// is confined to their directory, so that references elsewhere cannot block on devices or FIFOs.
#include <cstdio>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "converter/converter.h"
#include "fuzz_support.h"
#include "pagewright/pagewright.h"
#include "surface/drawing_surface.h"

namespace {

using namespace pw;

// A drawing surface for fuzzing that checks the converter's use of it and aborts on the first
// breach: fonts used or deleted that were never created or already deleted, pages outside the
// document or inside each other, drawing outside a page, a conversion that leaves anything open.
class CheckingSurface final : public DrawingSurface {
 public:
  int getDeviceCaps(int index) override { return index == kLogPixelsX ? 204 : 196; }
  FontHandle createFont(const LogFont& font) override {
    require(font.lfFaceName[sizeof font.lfFaceName - 1] == '\0', "face name without its NUL");
    return *live_.insert(reinterpret_cast<FontHandle>(nextFont_++)).first;
  }
  FontHandle selectFont(FontHandle font) override {
    require(font == stockFont() || live_.contains(font), "selecting a font never created");
    return std::exchange(selected_, font);
  }
  void deleteFont(FontHandle font) override {
    require(font != selected_ && live_.erase(font) == 1, "deleting a selected or unknown font");
  }
  int startDoc(const char* name) override {
    return require(!inDoc_ && name && ++documents_ == 1, "startDoc"), inDoc_ = true;
  }
  int startPage() override { return require(inDoc_ && !inPage_, "startPage"), inPage_ = true; }
  int endPage() override { return require(inPage_, "endPage"), inPage_ = false, 1; }
  int endDoc() override { return require(inDoc_ && !inPage_, "endDoc"), inDoc_ = false, 1; }
  bool getTextExtent(const char* text, int count, TextSize* size) override {
    return require(inDoc_, "measuring"), requireText(text, count), *size = {7 * count, 13}, true;
  }
  bool textOut(int, int, const char* text, int count) override {
    return require(inPage_, "textOut outside a page"), requireText(text, count), true;
  }
  int setBkMode(int mode) override {
    require(inDoc_ && (mode == kTransparent || mode == kOpaque), "setBkMode: bad mode or time");
    return std::exchange(bkMode_, mode);
  }
  int setDIBitsToDevice(int, int, uint32_t width, uint32_t height, int, int, uint32_t,
                        uint32_t scanLines, const void* bits, const BitmapInfoHeader* info,
                        uint32_t) override {
    require(inPage_ && bits && info && static_cast<uint32_t>(info->biWidth) == width &&
                static_cast<uint32_t>(info->biHeight) == height && scanLines == height,
            "a bitmap outside a page, without bits or header, or drawn at another size");
    // Every byte of the pixel array is read, so that the sanitizer sees one too few.
    const uint64_t stride = (uint64_t{width} * info->biBitCount + 31) / 32 * 4;
    for (uint64_t i = 0; i < stride * height; ++i)
      checksum_ += static_cast<const uint8_t*>(bits)[i];
    return static_cast<int>(height);
  }

  /// After the conversion: nothing may be left open or alive, the surface's font selected again.
  void requireFinished() const {
    require(!inDoc_ && !inPage_ && live_.empty() && selected_ == stockFont(),
            "a document, page or font left open, or the surface's own font not selected again");
  }

 private:
  static FontHandle stockFont() { return reinterpret_cast<FontHandle>(0x5700C); }
  static void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "CheckingSurface: %s\n", what);
    std::abort();
  }
  void requireText(const char* text, int count) const {
    require(count >= 0 && (count == 0 || text), "text with a negative count or no characters");
    require(live_.contains(selected_) || selected_ == stockFont(), "drawing with a deleted font");
    for (int i = 0; i < count; ++i) checksum_ += static_cast<unsigned char>(text[i]);
  }

  std::set<FontHandle> live_;
  FontHandle selected_ = stockFont();
  uintptr_t nextFont_ = 0x1000;
  bool inDoc_ = false, inPage_ = false;
  int documents_ = 0, bkMode_ = kOpaque;
  mutable unsigned checksum_ = 0;
};

struct Setup {
  std::string directory = scratchFolder();
  std::string text = directory + "/fuzz.txt";  // the input's file
  std::vector<std::string> values = std::vector<std::string>(PW_JOB_FIELD_COUNT);  // line lists
  JobFields fields{};
};

Setup& setup() {
  static Setup* made = [] {
    auto* s = new Setup;
    std::filesystem::copy_file(PW_FUZZ_LOGO, s->directory + "/logo.tif");  // a G4 image
    const std::string insert = s->directory + "/insert.txt";
    const char kInsert[] = "Inserted line one\r\n\r\n#BFnot markup#NF <ToName> %3\n";
    writeFile(insert, kInsert, sizeof kInsert - 1);
    for (int i = 0; i < PW_JOB_FIELD_COUNT; ++i) {
      std::string lines = i == 3 ? insert : "Field " + std::to_string(i) + "\nsecond #BF <ToName>";
      for (char& c : lines) c = c == '\n' ? '\0' : c;
      s->fields.entries[i] = (s->values[i] = lines + std::string(2, '\0')).data();
    }
    const char* const readable[] = {s->directory.c_str()};
    if (pwSetReadableDirectories(readable, 1) != 1) std::abort();
    return s;
  }();
  return *made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  Setup& s = setup();
  if (size < 4) return 0;
  // Small pages and wide margins too: margins that leave no room are part of the contract.
  const RenderParams params{
      .font = {.lfHeight = 1 + data[0] % 40, .lfWeight = 400, .lfFaceName = "Courier New"},
      .lineSpacingMm = data[1] % 8u,
      .pageWidthMm = 20u + data[2],
      .pageHeightMm = 20u + data[3],
      .topMarginMm = data[1] / 16u,
      .bottomMarginMm = data[2] % 16u,
      .leftMarginMm = data[3] % 16u,
      .rightMarginMm = data[0] / 16u,
      .directivesEnabled = 1,
      .imageDirectory = s.directory.c_str()};
  writeFile(s.text, data + 4, size - 4);
  pw::ConversionServices services;
  // Bit 3 of the second byte, which the line spacing and top margin leave unused.
  services.keepAllText = (data[1] & 0x08) != 0;
  CheckingSurface surface;
  uint32_t pages = 0;
  (void)pw::convertText(&params, &surface, s.text.c_str(), 0, &s.fields, &pages, services);
  surface.requireFinished();
  return 0;
}
