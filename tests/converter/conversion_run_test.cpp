// The conversion run: start-up, its failures, the end of the document and read errors; text kept
// whole past the line buffer; files read and located through the host.
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
    uint32_t code, event;
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

using KeepAllTextTest = ConversionTest;

// Each case crosses the line buffer's 2,999 characters in another place.
TEST_F(KeepAllTextTest, EveryCharacterOfALongLineIsDrawnOnAPage) {
  std::string shortPrefix;  // 2,990 characters
  for (int i = 0; i < 598; ++i) shortPrefix += "word ";
  const std::string prefix = shortPrefix + "word wor";  // 2,998 characters
  std::string words = shortPrefix;
  while (words.size() < 10000) words += "word ";
  words += "END";
  const std::string word(3500, 'w');
  const struct {
    const char* name;
    std::string text;
    std::string drawn;  // every character drawn, in order
    uint32_t event = 0;
  } cases[] = {
      {"one word", word + "\nz", word + "z", msg::kLineOverflow},
      {"placeholder across the limit", prefix + "<ToName> tail", prefix + "Ann tail"},
      {"placeholder at the limit", prefix + "r<ToName>", prefix + "rAnn"},
      {"short field across the limit", shortPrefix + "#SO tail",
       shortPrefix + "Lee and Partners Ltd tail"},
      {"plain paragraph", words, words},
  };
  FieldTable fields;
  fields.set(24, "Ann").set(5, "Lee and Partners Ltd");
  params.pageHeightMm = 100;  // bottom 694: 31 lines of 138 characters a page
  params.directivesEnabled = 1;
  services.keepAllText = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    ASSERT_EQ(convert(c.text, fields.get()), 1);
    std::string drawn;
    for (const std::string& text : surface.texts()) drawn += text;
    EXPECT_EQ(drawn, c.drawn);
    for (const std::string& call : surface.only("textOut")) {
      EXPECT_LE(std::stoi(call.substr(call.find(',') + 1)), 694) << "below the page: " << call;
    }
    EXPECT_EQ(eventIds(), c.event ? std::vector{c.event} : std::vector<uint32_t>{});
  }
  // The paragraph, the last case, wraps at spaces only, as if it had been read whole.
  const std::vector<std::string> lines = surface.texts();
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].back(), ' ') << i;
  EXPECT_EQ(lines.back().substr(lines.back().size() - 4), " END");
  EXPECT_EQ(pages, 3u);
}

using HostServicesTest = ConversionTest;

TEST_F(HostServicesTest, NamesAreLocatedAndInsertsReadThroughTheHost) {
  MemoryFiles files;
  files.texts = {{"letter", "%3\n@/logo@/1\n"}, {"found/cover", "From the cover file\n"}};
  Locator names;
  names.prefix = "found/";
  services = {&files, nullptr, &files, &names};
  params.directivesEnabled = 1;
  params.imageDirectory = "img";
  FieldTable fields;
  fields.set(3, "cover");
  EXPECT_EQ(convertPath("letter", fields.get()), 0);
  EXPECT_THAT(files.opened, ElementsAre("letter", "found/cover"));
  EXPECT_THAT(names.names, ElementsAre("cover", "img/logo.tif"));
  EXPECT_EQ(surface.drawing(), "101,77 From the cover file");
  // Reports name the file the host located.
  EXPECT_THAT(eventIds(), ElementsAre(msg::kCannotOpen));
  EXPECT_EQ(sink.events[0].text, "Cannot open found/img/logo.tif: No such file or directory");
  // A name the host cannot locate fails with its cause.
  fields.set(3, "lost");
  EXPECT_EQ(convertPath("letter", fields.get()), 0);
  EXPECT_EQ(lastError(), kErrorSharingViolation);
  EXPECT_EQ(sink.events.back().inserts[0], "lost");
}

}  // namespace
}  // namespace pw::testing
