// Line layout through the recording surface, which measures 10 pixels a character (a piece of n
// characters is 11n wide): with markup off, word wrap, overflow, page ends, the control characters
// that move the pen and the line buffer's limit; with markup on, directives, right-aligned text,
// field placeholders and numbered inserts, the page marker and the control characters.
#include <string>
#include <vector>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw::testing {
namespace {

using ::testing::ElementsAre;

void shortPage(RenderParams& p) {
  p.pageHeightMm = 20;  // bottom 77 = top: one line a page
}

using LayoutTest = ConversionTest;

TEST_F(LayoutTest, PlainTextWrapsAndBreaksPages) {
  // left 101, right 21 + 1686 - 1493 = 214: ten characters (110 pixels) fit on a line.
  params.rightMarginMm = 186;
  const std::string w2999(2999, 'w');
  check({
      {"aaaa bbbb cccc", "101,77 aaaa bbbb \n101,97 cccc"},
      // "aaaa bbbbb" fits without the following space but not with it: the word moves down.
      {"aaaa bbbbb c", "101,77 aaaa \n101,97 bbbbb c"},
      // A word wider than the line runs past the limit on a line of its own; one warning.
      {"ab abcdefghijklmn xy\nabcdefghijklmnop",
       "101,77 ab \n101,97 abcdefghijklmn \n101,117 xy\n101,137 abcdefghijklmnop", 1,
       msg::kLineOverflow},
      {std::string(12, ' ') + "x", "101,77           \n101,97   x"},
      {"\f\fa\f\fb\f", "101,77 a\n101,77 b", 2},
      // Line feeds before the first text of a page leave no gap.
      {"\n\n\na\fb\n\n\f\n\nc", "101,77 a\n101,77 b\n101,77 c", 3},
      {"abc\r___\r\nx", "101,77 abc\n101,77 ___\n101,97 x"},
      // Blanks and control characters are drawn but are not text; high bytes are text, a TAB a
      // space.
      {"", "", 0, msg::kFileContainsNoText},
      {"\r\n\f\x1c\n", "", 0, msg::kFileContainsNoText},
      {"  \n \f  ", "101,77   \n101,97  \n101,77   ", 0, msg::kFileContainsNoText},
      {"\x01\x02", "101,77 \x01\x02", 0, msg::kFileContainsNoText},
      {"\xe9\t\xe9", "101,77 \xe9 \xe9"},
      // Markup is text, the page marker too.
      {"%6<ToName>\n@/x@/#BF\x1cSPAGE", "101,77 %6<ToName>\n101,97 @/x@/#BF\n101,77 SPAGE", 2},
      // Only the first 2,999 characters of a line are kept.
      {std::string(3500, 'w') + "\nend", "101,77 " + w2999 + "\n101,117 end", 1,
       msg::kLineOverflow},
      // A page wider than the fax line is capped and starts at dot 0 plus the margin.
      {"Hi", "0,77 Hi", 1, 0, [](RenderParams& p) { p.pageWidthMm = 216, p.leftMarginMm = 0; }},
      {"a\nb", "101,77 a\n101,112 b", 1, 0, [](RenderParams& p) { p.lineSpacingMm = 2; }},
      // A line on the bottom limit stays on the page; a paragraph begun on it is finished there.
      {"a\rb\nc", "101,77 a\n101,77 b\n101,77 c", 2, 0, shortPage},
      {"aaaa bbbb cccc\nz", "101,77 aaaa bbbb \n101,97 cccc\n101,77 z", 2, 0, shortPage},
      // Margins that leave no room, or wrap round, still draw everything.
      {"a b c", "1225,77 a \n1225,97 b \n1225,117 c", 1, msg::kLineOverflow,
       [](RenderParams& p) { p.leftMarginMm = 150, p.rightMarginMm = 150; }},
      {"a\nb", "101,77 a\n101,97 b", 1, 0, [](RenderParams& p) { p.bottomMarginMm = 400; }},
  });
}

class MarkupTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    fields.set(5, "Org\nsecond").set(6, "first\nsecond").set(7, "Tel").set(8, "Fax");
    fields.set(9, "nine").set(10, "Nr").set(11, "Me").set(18, "+1 555 0100").set(24, "Ann Lee");
    fields.set(25, "").set(38, "Line one\nLine two\nLine three").set(53, "ID");
    rowFields = fields.get();
  }
  FieldTable fields;
};

TEST_F(MarkupTest, Directives) {
  check({
      // Unknown codes, and "##BF" whose second '#' starts the directive.
      {"x#BXy#AB#ZZ##BFz", "101,77 x#BXy#AB#ZZ#\n233,77 z"},
      // A control character cuts a directive; the second letter never starts other markup.
      {"#B\r\nF", "101,77 #B\n101,97 F"},
      {"#Q<ToName> #%3", "101,77 #Q<ToName> #%3"},
      // After "#OD" markup is text for good; a comment drops the rest of its line.
      {"a#ODb#BFc\x01", "101,77 ab#BFc\x01"},
      {"ab#CO note\r\ncd\n#CO whole line\nef", "101,77 abcd\n101,97 ef"},
      // "#SJ" ends at most one page.
      {"#SJa#SJ#SJb#SJ", "101,77 a\n101,77 b", 2},
      // Orientation changes start a page; landscape text runs up from the bottom limit.
      {"a#LOb#LOc\nd#POe", "101,77 a\n101,2214 b\n101,2203 c\n121,2214 d\n101,77 e", 3},
      {"[#SO|#SD|#ST|#SF|#SN|#SX]", "101,77 [Org|first|Tel|Fax|Nr|#SX]"},
      // Inserted text is cut at the line buffer's limit (on a page wider than the fax line, which
      // is capped: left 80, right 1728).
      {std::string(2997, 'a') + "#SOzz", "80,77 " + std::string(2997, 'a') + "Or", 1,
       msg::kLineOverflow, [](RenderParams& p) { p.pageWidthMm = 100000, p.rightMarginMm = 0; }},
  });
}

TEST_F(MarkupTest, RightAlignedText) {
  check({
      // 20 mm is 160 dots; "abc" measures 30: x = 101 + 160 - 30.
      {"x#T20|abc|y\n", "101,77 x\n231,77 abcy"},
      // Wider than the distance: at the left margin. Beyond the right limit: at the limit, where
      // it overflows and so ends its line. Any other character delimits with a distance of 0.
      {"#T1|abcdef|\n#T9999|a|\n#T:b:\n", "101,77 abcdef\n1627,97 a\n101,137 b", 1,
       msg::kLineOverflow},
      // A space as delimiter places nothing.
      {"ab#T30 cd", "101,77 ab\n123,77 cd"},
      // Line ends that end the text keep their line break, even as the delimiter.
      {"#T20|abc\r\nnext\n#T20|abc\nnext", "231,77 abc\n101,97 next\n231,117 abc\n101,137 next"},
      // A control character as the delimiter goes with the digits: no line break.
      {"ab#T20\ncd", "101,77 ab\n123,77 cd"},
      // The computed position survives the page start of the flush that draws it.
      {"#T20|abc|\fz#T20|abc|", "231,77 abc\n101,77 z\n231,77 abc", 2},
      // Landscape counts from the bottom: 10 mm is 77 dots; y = 2214 - 77 + 30.
      {"#LO#T10|abc|", "101,2167 abc"},
      // At the end of the file.
      {"ab#T12", "101,77 ab"},
      {"ab#T12|cd", "101,77 ab\n177,77 cd"},
  });
}

TEST_F(MarkupTest, FieldsNumberedInsertsAndFileInserts) {
  const std::string name64 = "ToName" + std::string(58, 'x');
  check({
      {"To: <ToName>, <To.Name> (<From.Fax>) <FromName><FromStationId>",
       "101,77 To: \n145,77 Ann Lee\n222,77 , \n244,77 Ann Lee\n321,77  (\n343,77 +1 555 0100\n"
       "464,77 ) \n486,77 Me\n508,77 ID"},
      // What names no field stays as text, also when cut off by the end of the file.
      {"<toname> <To.> <> <<ToName> a < b <Nope", "101,77 <toname> <To.> <> <<ToName> a < b <Nope"},
      {"<To.From.Fax><" + name64 + "> <ToNa", "101,77 <To.From.Fax><" + name64 + "> <ToNa"},
      {"a <", "101,77 a <"},
      // Missing and empty values leave no trace.
      {"[<Subject><ToCompany>%1%9]", "101,77 [\n112,77 nine\n156,77 ]"},
      // A control character that ends a name is acted on.
      {"<ToName\nnext", "101,77 <ToName\n101,97 next"},
      // A placeholder's further lines start where its line began, a numbered insert's under it.
      {"Re: <Message>!",
       "101,77 Re: \n145,77 Line one\n101,97 Line two\n101,117 Line three\n211,117 !"},
      {"Tel: %6 #SD", "101,77 Tel: \n156,77 first\n156,97 second\n222,97  first"},
      // The pen left over from the previous page is not where the next text begins.
      {"abc\f<Message>", "101,77 abc\n101,77 Line one\n101,97 Line two\n101,117 Line three", 2},
      // In landscape they start at the saved height.
      {"#LOab<Message>", "101,2214 ab\n101,2192 Line one\n121,2214 Line two\n141,2214 Line three"},
  });
  // "%3" files (files that fail: markup_files_test), then no fields at all.
  fields.set(3, dir.write("insert.txt", "alpha\r\n\r\nbeta"));
  check({{"%%3.", "101,77 %\n112,77 alpha\n112,97  \n112,117 beta\n156,117 ."}});
  fields.set(3, dir.write("empty.txt", ""));
  check({{"a%3b", "101,77 a\n112,77 b"}});
  rowFields = nullptr;
  check({{"[<ToName>%1#SD]", "101,77 [\n112,77 ]"}});
}

TEST_F(MarkupTest, ControlCharactersAndThePageMarker) {
  check({
      // A control character with no layout meaning flushes without moving the pen.
      {"ab\x01"
       "cd",
       "101,77 ab\n123,77 cd"},
      {"\x01\x02", "", 0, msg::kFileContainsNoText},
      // 22 saves the pen, 23 restores it for the rest of the page.
      {"ab\x16"
       "cd\r\x17"
       "ef\n\x17gh",
       "101,77 ab\n123,77 cd\n123,77 ef\n123,97 gh"},
      {"ab\x16\fxyz\r\x17"
       "cd",
       "101,77 ab\n101,77 xyz\n101,77 cd", 2},
      // "SPAGE" right after a file separator is a page marker, in any case; other text stays.
      {"one two\x1cspage\nthree", "101,77 one two\n101,77 three", 2},
      {"one\x1cSPARE parts\x1cXPAGE", "101,77 one\n101,77 SPARE parts\n101,77 XPAGE", 3},
      {"SPAGE", "101,77 SPAGE"},
  });
}

TEST_F(MarkupTest, StyleAndBackgroundCodesInAnyCase) {
  params.font.lfWeight = 700;  // dropped by the first rebuild: the style starts plain
  params.font.lfItalic = 1;
  ASSERT_EQ(convert("a#bfb#If#uSc#nFd#NI#nue#LOf#POg#BOh#bti"), 1);
  EXPECT_EQ(surface.drawing(),
            "101,77 a\n112,77 b\n123,77 c\n134,77 d\n145,77 e\n101,2214 f\n"
            "101,77 g\n112,77 h\n123,77 i");
  EXPECT_THAT(surface.only("setBkMode"), ElementsAre("setBkMode 1", "setBkMode 2", "setBkMode 1"));
  std::vector<std::string> styles;
  for (const LogFont& f : surface.fonts) {
    styles.push_back(std::to_string(f.lfWeight) + "/" + std::to_string(f.lfItalic) + "/" +
                     std::to_string(f.lfUnderline) + "/" + std::to_string(f.lfEscapement) + "/" +
                     std::to_string(f.lfOrientation));
  }
  EXPECT_THAT(styles,
              ElementsAre("700/1/0/0/0", "700/0/0/0/0", "700/1/0/0/0", "700/1/1/0/0", "400/1/1/0/0",
                          "400/0/1/0/0", "400/0/0/0/0", "400/0/0/900/900", "400/0/0/0/0"));
  EXPECT_EQ(surface.liveFonts(), 0) << "every replaced font is deleted";
}

TEST_F(MarkupTest, FontThatCannotBeCreatedKeepsTheOldOne) {
  surface.failCreateFontAt = 2;
  ASSERT_EQ(convert("a#LOb#BFc"), 1);
  // The page still ended for the orientation change; the text stays portrait.
  EXPECT_EQ(pages, 2u);
  EXPECT_EQ(surface.drawing(), "101,77 a\n101,77 b\n112,77 c");
  EXPECT_THAT(eventIds(), ElementsAre(msg::kCreateFontFailed));
  EXPECT_EQ(std::pair(surface.fonts[2].lfEscapement, surface.fonts[2].lfWeight), std::pair(0, 700))
      << "the work font was put back";
  EXPECT_EQ(surface.liveFonts(), 0);
  EXPECT_EQ(lastError(), 0u);
}

}  // namespace
}  // namespace pw::testing
