// Formatting directives, through the recording surface. Markup is on throughout.
#include <string>

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

TEST_F(DirectivesTest, UnknownCodesStayAsText) {
  ASSERT_EQ(convert("x#BXy#AB#ZZ##BFz"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("x#BXy#AB#ZZ#", "z"));
  EXPECT_EQ(surface.fonts.size(), 2u);
}

TEST_F(DirectivesTest, ControlCharacterCutsADirective) {
  ASSERT_EQ(convert("#B\r\nF"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("#B", "F"));
  EXPECT_EQ(surface.fonts.size(), 1u);
}

TEST_F(DirectivesTest, SecondLetterNeverStartsOtherMarkup) {
  FieldTable fields;
  fields.set(3, "/nonexistent").set(24, "Ann");
  ASSERT_EQ(convert("#Q<ToName> #%3", fields.get()), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("#Q<ToName> #%3"));
}

TEST_F(DirectivesTest, MarkupOffIsFinal) {
  ASSERT_EQ(convert("a#ODb#BFc\x01"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("ab#BFc\x01"));
}

TEST_F(DirectivesTest, CommentDropsTheRestOfTheLine) {
  ASSERT_EQ(convert("ab#CO note\r\ncd\n#CO whole line\nef"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("abcd", "ef"));
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

TEST_F(DirectivesTest, RightAlignedTextEndsAtTheDistance) {
  // 20 mm is 160 dots; "abc" measures 30: x = 101 + 160 - 30.
  ASSERT_EQ(convert("x#T20|abc|y\n"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 x", "textOut 231,77 abcy"));
}

TEST_F(DirectivesTest, RightAlignedClampsAndDelimiters) {
  // Wider than the distance: at the left margin. Beyond the right limit: at the limit, where it
  // overflows and so ends its line. Any other character delimits with a distance of 0.
  ASSERT_EQ(convert("#T1|abcdef|\n#T9999|a|\n#T:b:\n"), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 abcdef", "textOut 1627,97 a", "textOut 101,137 b"));
}

TEST_F(DirectivesTest, RightAlignedWithSpaceDelimiterPlacesNothing) {
  ASSERT_EQ(convert("ab#T30 cd"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 ab", "textOut 123,77 cd"));
}

TEST_F(DirectivesTest, RightAlignedTextEndedByLineEndsKeepsTheLineBreak) {
  ASSERT_EQ(convert("#T20|abc\r\nnext\n#T20|abc\nnext"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 231,77 abc", "textOut 101,97 next",
                                                   "textOut 231,117 abc", "textOut 101,137 next"));
}

TEST_F(DirectivesTest, RightAlignedDelimiterThatIsALineFeedStillEndsTheLine) {
  ASSERT_EQ(convert("ab#T20\ncd"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 ab", "textOut 101,97 cd"));
}

TEST_F(DirectivesTest, RightAlignedPositionSurvivesAPageStart) {
  ASSERT_EQ(convert("#T20|abc|\fz#T20|abc|"), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 231,77 abc", "textOut 101,77 z", "textOut 231,77 abc"));
}

TEST_F(DirectivesTest, RightAlignedInLandscapeCountsFromTheBottom) {
  // 10 mm at 7717 dots per metre is 77; "abc" measures 30: y = 2214 - 77 + 30.
  ASSERT_EQ(convert("#LO#T10|abc|"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,2167 abc"));
}

TEST_F(DirectivesTest, RightAlignedAtTheEndOfTheFile) {
  ASSERT_EQ(convert("ab#T12"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("ab"));
  surface = RecordingSurface();
  ASSERT_EQ(convert("ab#T12|cd"), 1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 ab", "textOut 177,77 cd"));
}

}  // namespace
}  // namespace pw::testing
