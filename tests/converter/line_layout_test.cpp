// Line layout: word wrap, overflow, page ends and the pen-moving control characters. The
// recording surface measures 10 pixels a character, so a piece of n characters is 11n wide.
#include <string>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

class LayoutTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    // left 101, right 21 + 1686 - 1493 = 214: ten characters (110 pixels) fit on a line.
    params.rightMarginMm = 186;
  }
};

TEST_F(LayoutTest, WrapsAtSpacesAndCountsTrailingSpaces) {
  ASSERT_EQ(convert("aaaa bbbb cccc"), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 aaaa bbbb ", "textOut 101,97 cccc"));

  // "aaaa bbbbb" fits without the following space but not with it: the word moves down.
  surface = RecordingSurface();
  ASSERT_EQ(convert("aaaa bbbbb c"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("aaaa ", "bbbbb c"));
}

TEST_F(LayoutTest, LongWordOverflowsOnItsOwnLineAndWarnsOnce) {
  ASSERT_EQ(convert("ab abcdefghijklmn xy\nabcdefghijklmnop"), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 ab ", "textOut 101,97 abcdefghijklmn ",
                          "textOut 101,117 xy", "textOut 101,137 abcdefghijklmnop"));
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kLineOverflow);
  EXPECT_EQ(sink.events[0].type, 2);
  EXPECT_EQ(sink.events[0].text, "Line overflow(s) occurred when converting " + path);
}

TEST_F(LayoutTest, RunOfSpacesWrapsLikeWords) {
  ASSERT_EQ(convert(std::string(12, ' ') + "x"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre(std::string(10, ' '), "  x"));
}

TEST_F(LayoutTest, PenMovesOneUnitPerCharacterAfterAFlush) {
  params.directivesEnabled = 1;
  // Control character 1 flushes mid-line without moving the pen.
  ASSERT_EQ(convert("ab\x01"
                    "cd"),
            1);
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 ab", "textOut 123,77 cd"));
}

TEST_F(LayoutTest, ParagraphBegunNearTheBottomStaysOnItsPage) {
  params.pageHeightMm = 297;
  std::string text;
  for (int i = 0; i < 106; ++i) text += "x\n";  // the pen is now at y 2197
  text += "aaaa bbbb cccc dddd eeee\nz";
  ASSERT_EQ(convert(text), 1);
  auto outs = surface.only("textOut endPage startPage");
  outs.erase(outs.begin(), outs.end() - 7);
  EXPECT_THAT(outs, ElementsAre("textOut 101,2197 aaaa bbbb ", "textOut 101,2217 cccc dddd ",
                                "textOut 101,2237 eeee", "endPage", "startPage", "textOut 101,77 z",
                                "endPage"));
}

TEST_F(LayoutTest, FormFeedsEndAtMostOnePageEach) {
  ASSERT_EQ(convert("\f\fa\f\fb\f"), 1);
  EXPECT_EQ(pages, 2u);
  EXPECT_EQ(surface.count("startPage"), 2);
  EXPECT_EQ(surface.count("endPage"), 2);
}

TEST_F(LayoutTest, LineFeedsBeforeTheFirstTextOfAPageLeaveNoGap) {
  ASSERT_EQ(convert("\n\n\na\fb\n\n\f\n\nc"), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 a", "textOut 101,77 b", "textOut 101,77 c"));
}

TEST_F(LayoutTest, CarriageReturnOverprints) {
  ASSERT_EQ(convert("abc\r___\r\nx"), 1);
  EXPECT_THAT(surface.only("textOut"),
              ElementsAre("textOut 101,77 abc", "textOut 101,77 ___", "textOut 101,97 x"));
}

TEST_F(LayoutTest, SaveAndRestoreThePen) {
  params.directivesEnabled = 1;
  ASSERT_EQ(convert("ab\x16"
                    "cd\r\x17"
                    "ef\n\x17gh"),
            1);
  // 22 saves x = 123 after "ab"; 23 restores it after the CR; a 23 with nothing saved on the page
  // would do nothing, but the saved position holds for the whole page.
  EXPECT_THAT(surface.only("textOut"), ElementsAre("textOut 101,77 ab", "textOut 123,77 cd",
                                                   "textOut 123,77 ef", "textOut 123,97 gh"));

  surface = RecordingSurface();
  ASSERT_EQ(convert("ab\x16\fxyz\r\x17"
                    "cd"),
            1);
  EXPECT_EQ(surface.only("textOut").back(), "textOut 101,77 cd") << "a new page forgets it";
}

TEST_F(LayoutTest, MarginsThatLeaveNoRoomStillEndEveryFlush) {
  params.leftMarginMm = 150;
  params.rightMarginMm = 150;
  ASSERT_EQ(convert("a b c"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("a ", "b ", "c"));

  surface = RecordingSurface();
  params = defaultParams();
  params.bottomMarginMm = 400;  // wraps around to a huge bottom limit
  ASSERT_EQ(convert("a\nb"), 1);
  EXPECT_EQ(pages, 1u);
}

}  // namespace
}  // namespace pw::testing
