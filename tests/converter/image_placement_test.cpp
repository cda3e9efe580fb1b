// Image references in the text: where the bitmap lands, what happens to the pen, the page and the
// text around the reference, and the reports when the image cannot be had or drawn.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "images/image_library.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "tiff_test_files.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// The 40 x 20 logo drawn at y; lines are 20 apart from 77, left is 101, bottom 2214.
std::string logo(int y) {
  return "setDIBitsToDevice 0," + std::to_string(y) + " 40x20 src 0,0 scans 0+20 bpp=1 use=0";
}

// Hands out an 8 x 4 bitmap or fails with code 0 as told, and notes its calls.
class FakeImages : public ImageLibrary {
 public:
  bool failOpen = false;
  bool failRender = false;
  std::vector<std::string> opened;
  int openHandles = 0;
  std::size_t callsAtClose = 0;
  const RecordingSurface* surface = nullptr;

  ImageHandle open(const char* path) override {
    opened.emplace_back(path);
    setLastError(0);
    return failOpen ? nullptr : (++openHandles, &openHandles);
  }
  HeapBlock render(ImageHandle) override {
    setLastError(0);
    if (failRender) return nullptr;
    HeapBlock block = allocateHeapBlock(80);
    std::memset(block.get(), 0, 80);
    const uint32_t header[] = {40, 8, 4, 0x10001};  // size, width, height, planes and bits
    std::memcpy(block.get() + kBitmapFileHeaderSize, header, sizeof header);
    return block;
  }
  void close(ImageHandle) override {
    --openHandles;
    callsAtClose = surface->calls.size();
  }
  const void* locatePixels(const void* info) override {
    return static_cast<const unsigned char*>(info) + 48;
  }
};

// A text file whose second read fails after the first delivered all of it.
class FailingSecondRead : public FileOpener, public FileReader {
 public:
  std::string text;
  bool readOnce = false;
  std::unique_ptr<FileReader> openForReading(const char*) override {
    struct Forward : FileReader {
      FileReader* to;
      bool read(void* b, uint32_t n, uint32_t* got) override { return to->read(b, n, got); }
    };
    auto reader = std::make_unique<Forward>();
    reader->to = this;
    return reader;
  }
  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    *got = readOnce ? 0 : std::min<uint32_t>(size, static_cast<uint32_t>(text.size()));
    if (readOnce) return failWith(kErrorReadFault) != 0;
    readOnce = true;
    std::memcpy(buffer, text.data(), *got);
    return true;
  }
};

class ImagePlacementTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    params.imageDirectory = imageDir.c_str();
    TiffFile file;
    file.width = 40;
    file.height = 20;
    file.compression = COMPRESSION_CCITTFAX4;
    file.rows.assign(20, std::vector<uint8_t>(5, 0x81));
    ASSERT_TRUE(writeTiff(dir.file("logo.tif"), file));
    fake.surface = &surface;
  }

  int convertWith(std::string_view text, FileOpener* files = nullptr) {
    path = dir.write("input.txt", text);
    ConversionServices services{files, &fake};
    return convertText(&params, &surface, path.c_str(), 0, nullptr, &pages, services);
  }

  void reset() {
    surface = RecordingSurface();
    sink.events.clear();
  }

  std::vector<std::string> drawing() const { return surface.only("textOut setDIBitsToDevice"); }

  std::string imageDir = dir.path().string();
  FakeImages fake;
};

TEST_F(ImagePlacementTest, PositionPenAndSkippedText) {
  struct Case {
    const char* text;
    std::vector<std::string> drawn;
    uint32_t pages;
  };
  const std::string many9 = "a\n@/logo@/" + std::string(5000, '9') + "\nNext";
  const Case cases[] = {
      // Image at x 0 and the pen's y; the LF belongs to the skipped line, so no further advance.
      {"@/logo@/4\r\nNext", {logo(77), "textOut 101,157 Next"}, 1},
      {"a\n@/logo@/0003\nb\n@/logo@/\nc",
       {"textOut 101,77 a", logo(97), "textOut 101,157 b", logo(177), "textOut 101,177 c"},
       1},
      {"@/logo@/ 3 lines\nNext", {logo(77), "textOut 101,77 Next"}, 1},
      {"@/logo@/1 @/logo@/5 #LO \f <Subject>\nNext", {logo(77), "textOut 101,97 Next"}, 1},
      {"@/logo@/1\rhidden\rhidden too\nNext", {logo(77), "textOut 101,97 Next"}, 1},
      {"lost @/logo@/1\nNext", {logo(77), "textOut 101,97 Next"}, 1},
      // Text already flushed by markup stays, and the next line starts where the pen stood.
      {"kept#BFlost@/logo@/1\nNext", {"textOut 101,77 kept", logo(77), "textOut 145,97 Next"}, 1},
      // Counts past the page are clamped, never wrapped (2^32 + 1, a run beyond the buffer).
      {"a\n@/logo@/4294967297\nNext", {"textOut 101,77 a", logo(77), "textOut 101,77 Next"}, 3},
      {many9.c_str(), {"textOut 101,77 a", logo(77), "textOut 101,77 Next"}, 3},
      {"#LO@/logo@/5\nNext", {logo(77), "textOut 101,2214 Next"}, 1},
      {"a\f@/logo@/2\nb", {"textOut 101,77 a", logo(77), "textOut 101,117 b"}, 2},
      {"a\n@/logo@/2", {"textOut 101,77 a", logo(97)}, 1},
      {"@/logo\nNext", {"textOut 101,77 @logo", "textOut 101,97 Next"}, 1},
      // The "#T" text is discarded, and with it its position: the image started the page.
      {"#T20|abc|@/logo@/2\nNext", {logo(77), "textOut 101,117 Next"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    reset();
    ASSERT_EQ(convert(c.text), 1);
    EXPECT_THAT(drawing(), ElementsAreArray(c.drawn));
    EXPECT_EQ(pages, c.pages);
    EXPECT_THAT(sink.events, IsEmpty());
  }
}

TEST_F(ImagePlacementTest, ExactFitStaysOnThePageOneDotMoreEndsIt) {
  params.topMarginMm = 0;
  params.pageHeightMm = 264;  // top 0, bottom 1960: 98 lines of 20
  ASSERT_EQ(convert("a\n@/logo@/97\nb"), 1);
  EXPECT_THAT(surface.only("textOut setDIBitsToDevice endPage"),
              ElementsAre("textOut 101,0 a", logo(20), "textOut 101,1960 b", "endPage"));
  reset();
  ASSERT_EQ(convert("a\n@/logo@/98\nb"), 1);
  EXPECT_THAT(surface.only("textOut setDIBitsToDevice endPage"),
              ElementsAre("textOut 101,0 a", "endPage", logo(0), "textOut 101,1960 b", "endPage"));
}

TEST_F(ImagePlacementTest, NotAReferenceOrNotText) {
  ASSERT_EQ(convert("@/logo@/3\n@/logo@/1\n"), 1);
  EXPECT_THAT(drawing(), ElementsAre(logo(77), logo(137)));
  EXPECT_EQ(pages, 0u);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kFileContainsNoText));
  reset();
  params.directivesEnabled = 0;
  ASSERT_EQ(convert("@/logo@/2"), 1);
  EXPECT_THAT(drawing(), ElementsAre("textOut 101,77 @/logo@/2"));
}

TEST_F(ImagePlacementTest, PathComesFromTheImageDirectory) {
  ASSERT_EQ(convertWith("@/logo@/1\nx"), 1);
  // The handle is closed before the page starts and the bitmap is drawn.
  EXPECT_EQ(surface.calls.at(fake.callsAtClose), "startPage");
  EXPECT_EQ(surface.calls.at(fake.callsAtClose + 1),
            "setDIBitsToDevice 0,77 8x4 src 0,0 scans 0+4 bpp=1 use=0");

  fake.opened.clear();
  ASSERT_EQ(convertWith("@/logo@/\n@/scan.tiff@/\n@/dot.@/\n@/sub/x@/\n@/@/\nx"), 1);
  const std::string d = imageDir + "/";
  EXPECT_THAT(fake.opened,
              ElementsAre(d + "logo.tif", d + "scan.tiff", d + "dot.", d + "sub/x.tif", ".tif"));
  EXPECT_EQ(fake.openHandles, 0);

  fake.opened.clear();
  imageDir += "/";
  params.imageDirectory = imageDir.c_str();
  ASSERT_EQ(convertWith("@/logo@/"), 1);
  params.imageDirectory = nullptr;
  ASSERT_EQ(convertWith("@/logo@/"), 1);
  EXPECT_THAT(fake.opened, ElementsAre(d + "logo.tif", "logo.tif"));
}

TEST_F(ImagePlacementTest, FailuresWithACodeAreReportedAndEndTheConversion) {
  ASSERT_EQ(convert("kept\nlost @/nosuch@/3\nnever"), 0);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_THAT(drawing(), ElementsAre("textOut 101,77 kept"));
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
  EXPECT_THAT(sink.events[0].inserts,
              ElementsAre(imageDir + "/nosuch.tif", errorText(kErrorFileNotFound)));

  reset();
  dir.write("letter.tif", "This is a letter, not an image.\n");
  ASSERT_EQ(convert("@/letter@/2\nnever"), 0);
  EXPECT_EQ(lastError(), kErrorBadFormat);
  EXPECT_THAT(drawing(), IsEmpty());
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotConvertTiff);
  EXPECT_EQ(sink.events[0].type, 2) << "a warning";
  EXPECT_THAT(sink.events[0].inserts,
              ElementsAre(imageDir + "/letter.tif", errorText(kErrorBadFormat)));

  reset();
  surface.failSetDIBits = true;
  surface.setDIBitsError = kErrorInvalidParameter;
  ASSERT_EQ(convert("@/logo@/3\nnever"), 0);
  EXPECT_EQ(lastError(), kErrorInvalidParameter);
  EXPECT_THAT(drawing(), ElementsAre(logo(77)));
  EXPECT_THAT(eventIds(), ElementsAre(msg::kSetDIBitsFailed));
}

TEST_F(ImagePlacementTest, FailuresWithCodeZeroAreReportedAndTheConversionGoesOn) {
  fake.failOpen = true;
  ASSERT_EQ(convertWith("a\n@/x@/3\nb"), 1);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kCannotOpen));
  EXPECT_THAT(drawing(), ElementsAre("textOut 101,77 a", "textOut 101,97 b")) << "no advance";

  reset();
  fake.failOpen = false;
  fake.failRender = true;
  ASSERT_EQ(convertWith("a\n@/x@/3\nb"), 1);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kCannotConvertTiff));
  EXPECT_THAT(drawing(), ElementsAre("textOut 101,77 a", "textOut 101,97 b"));
  EXPECT_EQ(fake.openHandles, 0);

  // A failed draw still takes its lines.
  reset();
  surface.failSetDIBits = true;
  ASSERT_EQ(convert("@/logo@/3\nNext"), 1);
  EXPECT_THAT(drawing(), ElementsAre(logo(77), "textOut 101,137 Next"));
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kSetDIBitsFailed);
  EXPECT_THAT(sink.events[0].inserts, ElementsAre(errorText(0)));
}

TEST_F(ImagePlacementTest, ReadErrorAmongTheDigitsAbandonsTheReferenceButNotWhileSkipping) {
  FailingSecondRead files;
  files.text = "a\n@/logo@/12";
  ASSERT_EQ(convertWith(files.text, &files), 0);
  EXPECT_EQ(lastError(), kErrorReadFault);
  EXPECT_THAT(fake.opened, IsEmpty());
  EXPECT_THAT(eventIds(), ElementsAre(msg::kErrorReading));

  reset();
  files.readOnce = false;
  files.text = "@/logo@/2 rest";
  ASSERT_EQ(convertWith(files.text, &files), 0);
  EXPECT_EQ(surface.count("setDIBitsToDevice"), 1);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kErrorReading));
}

}  // namespace
}  // namespace pw::testing
