// The conversion run: start-up, its failures, the end of the document and read errors.
#include <string>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

using RunTest = ConversionTest;

TEST_F(RunTest, CallSequenceAndFontRelease) {
  params.font.lfHeight = -12;  // a character height still reaches the font mapper as a cell height
  params.font.lfWidth = 6;
  ASSERT_EQ(convert("Hello"), 1);
  const std::string stock =
      std::to_string(reinterpret_cast<uintptr_t>(RecordingSurface::stockFont()));
  EXPECT_THAT(
      surface.calls,
      ElementsAre("createFont h=33 w=17 weight=400 italic=0 underline=0 esc=0 -> 1", "selectFont 1",
                  "startDoc " + path, "setBkMode 1", "startPage", "textOut 101,77 Hello", "endPage",
                  "endDoc", "selectFont " + stock, "deleteFont 1"));
  EXPECT_EQ(params.font.lfHeight, -12) << "the caller's record is not changed";
  EXPECT_EQ(pages, 1u);
  EXPECT_EQ(lastError(), 0u);
}

TEST_F(RunTest, NothingToConvertFailsBeforeTheSurfaceIsTouched) {
  setLastError(1234);
  EXPECT_EQ(convertPath(""), 0);
  EXPECT_EQ(pages, 0u);
  EXPECT_EQ(lastError(), 1234u) << "the last-error value is not set";
  const std::string missing = dir.file("nope.txt");
  EXPECT_EQ(convertPath(missing.c_str()), 0);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kNoTextFileNamed, msg::kCannotOpen));
  EXPECT_EQ(sink.events.back().text, "Cannot open " + missing + ": No such file or directory");
  EXPECT_TRUE(surface.calls.empty());
  EXPECT_EQ(convertText(nullptr, &surface, "x.txt", 0, nullptr, &pages), 0);
  EXPECT_EQ(lastError(), kErrorInvalidParameter);
}

TEST_F(RunTest, StartUpFailuresReleaseWhatWasTaken) {
  const struct {
    void (*inject)(RecordingSurface&);
    uint32_t code;
    uint32_t event;
    int endDocs;  // a started document is ended
  } cases[] = {
      {[](RecordingSurface& s) { s.failCreateFontAt = 1; }, 8, msg::kCreateFontFailed, 0},
      {[](RecordingSurface& s) { s.failStartDoc = true; }, 5, msg::kStartDocFailed, 0},
      {[](RecordingSurface& s) { s.failMeasureNewline = true; }, 6, msg::kGetTextExtentFailed, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.event);
    reset();
    c.inject(surface);
    EXPECT_EQ(convert("text"), 0);
    EXPECT_EQ(lastError(), c.code);
    EXPECT_EQ(pages, 0u);
    EXPECT_THAT(eventIds(), ElementsAre(c.event));
    EXPECT_EQ(sink.events[0].inserts, (std::vector<std::string>{path, errorText(c.code)}));
    EXPECT_EQ(surface.liveFonts(), 0);
    EXPECT_EQ(surface.selected(), RecordingSurface::stockFont());
    EXPECT_EQ(surface.count("endDoc"), c.endDocs);
    EXPECT_EQ(surface.count("startPage"), 0);
  }
}

TEST_F(RunTest, ReadErrorEndsTheDocumentAndFails) {
  MemoryFiles files;
  files.texts["virtual.txt"] = "first\nsecond line\fthird";
  files.blockSize = 3;
  files.endError = kErrorReadFault;
  services.files = &files;
  EXPECT_EQ(convertPath("virtual.txt"), 0);
  EXPECT_EQ(lastError(), kErrorReadFault);
  EXPECT_EQ(pages, 2u);
  EXPECT_EQ(surface.drawing(), "101,77 first\n101,97 second line\n101,77 third");
  EXPECT_EQ(surface.count("endDoc"), 1);
  EXPECT_EQ(surface.liveFonts(), 0);
  EXPECT_THAT(eventIds(), ElementsAre(msg::kErrorReading));
  EXPECT_EQ(sink.events[0].inserts[0], "virtual.txt");
}

}  // namespace
}  // namespace pw::testing
