// Formatting directives, through the recording surface. Markup is on throughout.
#include <string>
#include <vector>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

class DirectivesTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
  }
};

TEST_F(DirectivesTest, StyleCodesRebuildTheFontInAnyCase) {
  params.font.lfWeight = 700;  // dropped by the first rebuild: the style starts plain
  params.font.lfItalic = 1;
  ASSERT_EQ(convert("a#bfb#If#uSc#nFd#NI#nue"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("a", "b", "c", "d", "e"));
  ASSERT_EQ(surface.fonts.size(), 7u);
  auto style = [&](int i) {
    const LogFont& f = surface.fonts[i];
    return std::to_string(f.lfWeight) + "/" + std::to_string(f.lfItalic) + "/" +
           std::to_string(f.lfUnderline);
  };
  EXPECT_EQ(style(1), "700/0/0");
  EXPECT_EQ(style(2), "700/1/0");
  EXPECT_EQ(style(3), "700/1/1");
  EXPECT_EQ(style(4), "400/1/1");
  EXPECT_EQ(style(5), "400/0/1");
  EXPECT_EQ(style(6), "400/0/0");
  EXPECT_EQ(surface.liveFonts(), 0) << "every replaced font is deleted";
}

TEST_F(DirectivesTest, WhatIsNoDirectiveStaysAsText) {
  FieldTable fields;
  fields.set(3, "/nonexistent").set(24, "Ann");
  struct Case {
    const char* text;
    std::vector<std::string> texts;
    std::size_t fonts;  // 0: not checked
  };
  const Case cases[] = {
      // Unknown codes, and "##BF" whose second '#' starts the directive.
      {"x#BXy#AB#ZZ##BFz", {"x#BXy#AB#ZZ#", "z"}, 2},
      // A control character cuts a directive.
      {"#B\r\nF", {"#B", "F"}, 1},
      // The second letter never starts other markup.
      {"#Q<ToName> #%3", {"#Q<ToName> #%3"}, 0},
      // After "#OD" markup is text for good.
      {"a#ODb#BFc\x01", {"ab#BFc\x01"}, 0},
      // A comment drops the rest of its line.
      {"ab#CO note\r\ncd\n#CO whole line\nef", {"abcd", "ef"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    surface = RecordingSurface();
    ASSERT_EQ(convert(c.text, fields.get()), 1);
    EXPECT_THAT(surface.texts(), ::testing::ElementsAreArray(c.texts));
    if (c.fonts) {
      EXPECT_EQ(surface.fonts.size(), c.fonts);
    }
  }
}

TEST_F(DirectivesTest, PageJumpEndsAtMostOnePage) {
  ASSERT_EQ(convert("#SJa#SJ#SJb#SJ"), 1);
  EXPECT_EQ(pages, 2u);
  EXPECT_EQ(surface.count("startPage"), 2);
}

TEST_F(DirectivesTest, BackgroundModes) {
  ASSERT_EQ(convert("a#BOb#BTc"), 1);
  EXPECT_THAT(surface.only("textOut setBkMode"),
              ElementsAre("setBkMode 1", "textOut 101,77 a", "setBkMode 2", "textOut 112,77 b",
                          "setBkMode 1", "textOut 123,77 c"));
}

TEST_F(DirectivesTest, OrientationChangesStartANewPage) {
  ASSERT_EQ(convert("a#LOb#LOc\nd#POe"), 1);
  EXPECT_EQ(pages, 3u);
  // Landscape text starts at the bottom limit and runs upwards; lines go across.
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 a", "textOut 101,2214 b", "textOut 101,2203 c",
                          "textOut 121,2214 d", "textOut 101,77 e"));
  EXPECT_EQ(surface.fonts[1].lfEscapement, 900);
  EXPECT_EQ(surface.fonts[1].lfOrientation, 900);
  EXPECT_EQ(surface.fonts[3].lfEscapement, 0);
}

TEST_F(DirectivesTest, FontThatCannotBeCreatedKeepsTheOldOne) {
  surface.failCreateFontAt = 2;
  ASSERT_EQ(convert("a#LOb#BFc"), 1);
  // The page still ended for the orientation change; the text stays portrait.
  EXPECT_EQ(pages, 2u);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 a", "textOut 101,77 b", "textOut 112,77 c"));
  ASSERT_GE(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCreateFontFailed);
  EXPECT_EQ(surface.fonts[2].lfEscapement, 0) << "the work font was put back";
  EXPECT_EQ(surface.fonts[2].lfWeight, 700);
  EXPECT_EQ(surface.liveFonts(), 0);
  EXPECT_EQ(lastError(), 0u);
}

TEST_F(DirectivesTest, ShortFieldsInsertTheirFirstLine) {
  FieldTable fields;
  fields.set(5, "Org\nsecond").set(6, "Dept").set(7, "Tel").set(8, "Fax").set(10, "Nr");
  ASSERT_EQ(convert("[#SO|#SD|#ST|#SF|#SN|#SX]", fields.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("[Org|Dept|Tel|Fax|Nr|#SX]"));
  surface = RecordingSurface();
  ASSERT_EQ(convert("[#SD]"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("[]"));
}

TEST_F(DirectivesTest, InsertedTextIsCutAtTheBufferLimit) {
  params.pageWidthMm = 100000;
  params.rightMarginMm = 0;
  FieldTable fields;
  fields.set(5, std::string(50, 'f'));
  ASSERT_EQ(convert(std::string(2980, 'a') + "#SO" + "zz", fields.get()), 1);
  const auto texts = surface.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], std::string(2980, 'a') + std::string(19, 'f'));
}

TEST_F(DirectivesTest, RightAlignedTextPositions) {
  struct Case {
    const char* text;
    std::vector<std::string> drawn;
  };
  const Case cases[] = {
      // 20 mm is 160 dots; "abc" measures 30: x = 101 + 160 - 30.
      {"x#T20|abc|y\n", {"textOut 101,77 x", "textOut 231,77 abcy"}},
      // Wider than the distance: at the left margin. Beyond the right limit: at the limit, where
      // it overflows and so ends its line. Any other character delimits with a distance of 0.
      {"#T1|abcdef|\n#T9999|a|\n#T:b:\n",
       {"textOut 101,77 abcdef", "textOut 1627,97 a", "textOut 101,137 b"}},
      // A space as delimiter places nothing.
      {"ab#T30 cd", {"textOut 101,77 ab", "textOut 123,77 cd"}},
      // Line ends that end the text keep their line break, even as the delimiter.
      {"#T20|abc\r\nnext\n#T20|abc\nnext",
       {"textOut 231,77 abc", "textOut 101,97 next", "textOut 231,117 abc",
        "textOut 101,137 next"}},
      // A control character as the delimiter goes with the digits: no line break.
      {"ab#T20\ncd", {"textOut 101,77 ab", "textOut 123,77 cd"}},
      // The computed position survives the page start of the flush that draws it.
      {"#T20|abc|\fz#T20|abc|", {"textOut 231,77 abc", "textOut 101,77 z", "textOut 231,77 abc"}},
      // Landscape counts from the bottom: 10 mm is 77 dots; y = 2214 - 77 + 30.
      {"#LO#T10|abc|", {"textOut 101,2167 abc"}},
      // At the end of the file.
      {"ab#T12", {"textOut 101,77 ab"}},
      {"ab#T12|cd", {"textOut 101,77 ab", "textOut 177,77 cd"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    surface = RecordingSurface();
    ASSERT_EQ(convert(c.text), 1);
    EXPECT_THAT(surface.only("textOut"), ::testing::ElementsAreArray(c.drawn));
  }
}

}  // namespace
}  // namespace pw::testing
