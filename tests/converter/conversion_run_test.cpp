// The conversion run: start-up, failures, the read loop and the end of the document.
#include <algorithm>
#include <cstring>
#include <string>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

using RunTest = ConversionTest;

TEST_F(RunTest, GeometryFollowsTheFaxLine) {
  ASSERT_EQ(convert("Hi"), 1);
  // A4 with 10 mm margins at 196 dpi: left 101, top 77.
  EXPECT_THAT(surface.texts(), ElementsAre("Hi"));
  EXPECT_EQ(surface.only("textOut")[0], "textOut 101,77 Hi");

  // A page wider than the fax line is capped and starts at dot 0 plus the margin.
  surface = RecordingSurface();
  params.pageWidthMm = 216;
  params.leftMarginMm = 0;
  ASSERT_EQ(convert("Hi"), 1);
  EXPECT_EQ(surface.only("textOut")[0], "textOut 0,77 Hi");
}

TEST_F(RunTest, BottomLimitEndsThePageAtTheNextFlush) {
  // bottom = 7717 * 287 / 1000 = 2214; lines at 77, 97, ... the last on the page is at 2197.
  std::string text;
  for (int i = 0; i < 107; ++i) text += "x\n";
  ASSERT_EQ(convert(text), 1);
  EXPECT_EQ(pages, 1u);
  text += "y\n";
  surface = RecordingSurface();
  ASSERT_EQ(convert(text), 1);
  EXPECT_EQ(pages, 2u);
  EXPECT_EQ(surface.only("textOut").back(), "textOut 101,77 y");
}

TEST_F(RunTest, FontSizeBecomesDevicePixels) {
  params.font.lfHeight = -12;
  params.font.lfWidth = 6;
  ASSERT_EQ(convert("a"), 1);
  ASSERT_FALSE(surface.fonts.empty());
  EXPECT_EQ(surface.fonts[0].lfHeight, 33);  // |MulDiv(-12, 196, 72)|
  EXPECT_EQ(surface.fonts[0].lfWidth, 17);   // MulDiv(6, 204, 72)
  params.font.lfHeight = 12;
  surface = RecordingSurface();
  ASSERT_EQ(convert("a"), 1);
  EXPECT_EQ(surface.fonts[0].lfHeight, 33);
  EXPECT_EQ(params.font.lfHeight, 12) << "the caller's record is not changed";
}

TEST_F(RunTest, LineSpacingAddsToTheLineAdvance) {
  params.lineSpacingMm = 2;  // 7717 * 2 / 1000 = 15
  ASSERT_EQ(convert("a\nb"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 a", "textOut 101,112 b"));
}

TEST_F(RunTest, CallSequenceAndFontRelease) {
  ASSERT_EQ(convert("Hello"), 1);
  EXPECT_THAT(surface.calls,
              ElementsAre("createFont h=33 w=0 weight=400 italic=0 underline=0 esc=0 -> 1",
                          "selectFont 1", "startDoc " + path, "setBkMode 1", "startPage",
                          "textOut 101,77 Hello", "endPage", "endDoc",
                          "selectFont " + std::to_string(reinterpret_cast<uintptr_t>(
                                              RecordingSurface::stockFont())),
                          "deleteFont 1"));
  EXPECT_EQ(surface.liveFonts(), 0);
  EXPECT_EQ(surface.selected(), RecordingSurface::stockFont());
  EXPECT_EQ(lastError(), 0u);
}

TEST_F(RunTest, MissingOrEmptyPathIsReported) {
  setLastError(1234);
  EXPECT_EQ(convertPath(nullptr), 0);
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(convertPath(""), 0);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kNoTextFileNamed, msg::kNoTextFileNamed));
  EXPECT_TRUE(surface.calls.empty());
  EXPECT_EQ(lastError(), 1234u) << "the last-error value is not set";
  // Without a page description there is nothing to convert, and still no pages.
  pages = 12345;
  EXPECT_EQ(convertText(nullptr, &surface, "x.txt", 0, nullptr, &pages), 0);
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(lastError(), kErrorInvalidParameter);
}

TEST_F(RunTest, MissingFileIsReportedWithTheSystemText) {
  const std::string missing = dir.file("nope.txt");
  EXPECT_EQ(convertPath(missing.c_str()), 0);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(pages, 0u);
  EXPECT_TRUE(surface.calls.empty());
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
  EXPECT_EQ(sink.events[0].type, 1);
  EXPECT_EQ(sink.events[0].text, "Cannot open " + missing + ": No such file or directory");

  const std::string inMissingDir = dir.file("none/x.txt");
  EXPECT_EQ(convertPath(inMissingDir.c_str()), 0);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
}

TEST_F(RunTest, StartUpFailuresReleaseWhatWasTaken) {
  surface.failCreateFontAt = 1;
  EXPECT_EQ(convert("text"), 0);
  EXPECT_EQ(lastError(), 8u);
  EXPECT_EQ(surface.count("startDoc"), 0);
  EXPECT_EQ(sink.events.back().id, msg::kCreateFontFailed);
  EXPECT_EQ(sink.events.back().inserts, (std::vector<std::string>{path, "Cannot allocate memory"}));

  surface = RecordingSurface();
  surface.failStartDoc = true;
  EXPECT_EQ(convert("text"), 0);
  EXPECT_EQ(lastError(), 5u);
  EXPECT_EQ(sink.events.back().id, msg::kStartDocFailed);
  EXPECT_EQ(surface.liveFonts(), 0);
  EXPECT_EQ(surface.selected(), RecordingSurface::stockFont());
  EXPECT_EQ(surface.count("endDoc"), 0);

  surface = RecordingSurface();
  surface.failMeasureNewline = true;
  EXPECT_EQ(convert("text"), 0);
  EXPECT_EQ(lastError(), 6u);
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(sink.events.back().id, msg::kGetTextExtentFailed);
  EXPECT_EQ(surface.liveFonts(), 0);
  EXPECT_EQ(surface.count("endDoc"), 1) << "the started document is ended";
  EXPECT_EQ(surface.count("startPage"), 0);
}

TEST_F(RunTest, FilesWithoutTextSucceedWithNoPages) {
  EXPECT_EQ(convert(""), 1);
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(surface.count("startDoc"), 1);
  EXPECT_EQ(surface.count("endDoc"), 1);
  EXPECT_EQ(surface.count("startPage"), 0);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kFileContainsNoText));

  // Blanks start a page on the device, yet the document holds no text.
  surface = RecordingSurface();
  EXPECT_EQ(convert("   \n \f  \n"), 1);
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(surface.count("startPage"), 2);
  EXPECT_EQ(lastError(), 0u);

  // Layout characters alone start nothing.
  surface = RecordingSurface();
  EXPECT_EQ(convert("\r\n\f\x1c\n"), 1);
  EXPECT_EQ(surface.count("startPage"), 0);
}

TEST_F(RunTest, ControlCharactersAreTextWithMarkupOffAndConsumedWithMarkupOn) {
  EXPECT_EQ(convert("\x01\x02"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("\x01\x02"));
  EXPECT_EQ(surface.count("startPage"), 1);
  EXPECT_EQ(pages, 0u) << "control characters are drawn but are not text";
  EXPECT_THAT(eventIds(), ElementsAre(msg::kFileContainsNoText));

  surface = RecordingSurface();
  params.directivesEnabled = 1;
  EXPECT_EQ(convert("\x01\x02"), 1);
  EXPECT_EQ(surface.count("startPage"), 0);
  EXPECT_EQ(pages, 0u);
}

TEST_F(RunTest, HighBytesAreTextAndTabsAreSpaces) {
  EXPECT_EQ(convert("\xe9"), 1);
  EXPECT_EQ(pages, 1u);
  EXPECT_TRUE(sink.events.empty());
  surface = RecordingSurface();
  EXPECT_EQ(convert("a\tb"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("a b"));
}

TEST_F(RunTest, LastLineWithoutLineEndIsDrawn) {
  EXPECT_EQ(convert("one\ntwo"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("one", "two"));
}

TEST_F(RunTest, LongLinesKeepTheFirst2999Characters) {
  params.rightMarginMm = 0;
  params.pageWidthMm = 100000;  // no wrapping in the way: only the buffer's limit
  std::string word(3500, 'w');
  surface = RecordingSurface();
  EXPECT_EQ(convert(word + "\nend"), 1);
  const auto texts = surface.texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0].size(), 2999u);
  EXPECT_EQ(texts[1], "end");
}

TEST_F(RunTest, PageMarkerAfterFileSeparator) {
  params.directivesEnabled = 1;
  EXPECT_EQ(convert("one\x1cspage\ntwo"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("one", "two"));
  EXPECT_EQ(pages, 2u);

  // Other text after the separator is kept whole.
  surface = RecordingSurface();
  EXPECT_EQ(convert("one\x1cSPARE parts\n"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("one", "SPARE parts"));

  // Without the separator, or with markup off, the marker is text.
  surface = RecordingSurface();
  EXPECT_EQ(convert("SPAGE"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("SPAGE"));
  surface = RecordingSurface();
  params.directivesEnabled = 0;
  EXPECT_EQ(convert("one\x1cSPAGE"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("one", "SPAGE"));
  EXPECT_EQ(pages, 2u);
}

TEST_F(RunTest, ReservedArgumentHasNoEffect) {
  path = dir.write("r.txt", "abc");
  RecordingSurface other;
  uint32_t otherPages = 0;
  ASSERT_EQ(convertText(&params, &other, path.c_str(), 0xDEADBEEF, nullptr, &otherPages), 1);
  ASSERT_EQ(convertPath(path.c_str()), 1);
  EXPECT_EQ(other.calls, surface.calls);
}

// Delivers the given text in small blocks, then fails with a read error.
class FailingReader final : public FileReader {
 public:
  FailingReader(std::string text, uint32_t error) : text_(std::move(text)), error_(error) {}
  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    ++reads;
    if (pos_ == text_.size()) {
      *got = 0;
      return failWith(error_) != 0;
    }
    const uint32_t n = std::min<uint32_t>({size, 3, static_cast<uint32_t>(text_.size() - pos_)});
    std::memcpy(buffer, text_.data() + pos_, n);
    pos_ += n;
    *got = n;
    return true;
  }
  int reads = 0;

 private:
  std::string text_;
  std::size_t pos_ = 0;
  uint32_t error_;
};

class FailingOpener final : public FileOpener {
 public:
  FailingOpener(std::string text, uint32_t error) : text_(std::move(text)), error_(error) {}
  std::unique_ptr<FileReader> openForReading(const char*) override {
    return std::make_unique<FailingReader>(text_, error_);
  }

 private:
  std::string text_;
  uint32_t error_;
};

TEST_F(RunTest, ReadErrorEndsTheDocumentAndFails) {
  FailingOpener opener("first\nsecond line\fthird", kErrorReadFault);
  EXPECT_EQ(convertPath("virtual.txt", nullptr, &opener), 0);
  EXPECT_EQ(lastError(), kErrorReadFault);
  EXPECT_EQ(pages, 2u);
  EXPECT_THAT(surface.texts(), ElementsAre("first", "second line", "third"));
  EXPECT_EQ(surface.count("endDoc"), 1);
  EXPECT_EQ(surface.liveFonts(), 0);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kErrorReading);
  EXPECT_EQ(sink.events[0].inserts[0], "virtual.txt");
}

}  // namespace
}  // namespace pw::testing
