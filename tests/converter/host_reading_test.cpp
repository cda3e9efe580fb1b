// Conversions that lose no text, and conversions reading and locating files through their host.
#include <cstdio>
#include <string>
#include <vector>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

std::string repeated(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

using KeepAllTextTest = ConversionTest;

// Each case crosses the line buffer's 2,999 characters in another place.
TEST_F(KeepAllTextTest, EveryCharacterOfALongLineIsDrawnOnAPage) {
  const std::string words = repeated("word ", 2000) + "END";
  const std::string prefix = repeated("word ", 599) + "wor";  // 2,998 characters
  const std::string shortPrefix = repeated("word ", 598);     // 2,990 characters
  const std::string word(3500, 'w');
  const struct {
    const char* name;
    std::string text;
    std::string drawn;  // every character drawn, in order
    std::vector<uint32_t> events;
  } cases[] = {
      {"one word", word + "\nz", word + "z", {msg::kLineOverflow}},
      {"placeholder across the limit", prefix + "<ToName> tail", prefix + "Ann tail", {}},
      {"placeholder at the limit", prefix + "r<ToName>", prefix + "rAnn", {}},
      {"short field across the limit",
       shortPrefix + "#SO tail",
       shortPrefix + "Lee and Partners Ltd tail",
       {}},
      {"plain paragraph", words, words, {}},
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
      int x = 0;
      int y = 0;
      ASSERT_EQ(std::sscanf(call.c_str(), "textOut %d,%d", &x, &y), 2);
      EXPECT_LE(y, 694) << "drawn below the page's limit: " << call;
    }
    EXPECT_EQ(eventIds(), c.events);
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
