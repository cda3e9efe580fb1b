// Line layout with markup off: word wrap, overflow, page ends, the control characters that move
// the pen and the line buffer's limit. The recording surface measures 10 pixels a character, so a
// piece of n characters is 11n wide.
#include <string>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"

namespace pw::testing {
namespace {

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
       "101,77 ab \n101,97 abcdefghijklmn \n101,117 xy\n101,137 abcdefghijklmnop",
       1,
       {msg::kLineOverflow}},
      {std::string(12, ' ') + "x", "101,77           \n101,97   x"},
      {"\f\fa\f\fb\f", "101,77 a\n101,77 b", 2},
      // Line feeds before the first text of a page leave no gap.
      {"\n\n\na\fb\n\n\f\n\nc", "101,77 a\n101,77 b\n101,77 c", 3},
      {"abc\r___\r\nx", "101,77 abc\n101,77 ___\n101,97 x"},
      // Blanks and control characters are drawn but are not text; high bytes are text, a TAB a
      // space.
      {"", "", 0, {msg::kFileContainsNoText}},
      {"\r\n\f\x1c\n", "", 0, {msg::kFileContainsNoText}},
      {"  \n \f  ", "101,77   \n101,97  \n101,77   ", 0, {msg::kFileContainsNoText}},
      {"\x01\x02", "101,77 \x01\x02", 0, {msg::kFileContainsNoText}},
      {"\xe9\t\xe9", "101,77 \xe9 \xe9"},
      // Markup is text, the page marker too.
      {"%6<ToName>\n@/x@/#BF\x1cSPAGE", "101,77 %6<ToName>\n101,97 @/x@/#BF\n101,77 SPAGE", 2},
      // Only the first 2,999 characters of a line are kept.
      {std::string(3500, 'w') + "\nend",
       "101,77 " + w2999 + "\n101,117 end",
       1,
       {msg::kLineOverflow}},
      // A page wider than the fax line is capped and starts at dot 0 plus the margin.
      {"Hi", "0,77 Hi", 1, {}, [](RenderParams& p) { p.pageWidthMm = 216, p.leftMarginMm = 0; }},
      {"a\nb", "101,77 a\n101,112 b", 1, {}, [](RenderParams& p) { p.lineSpacingMm = 2; }},
      // A line on the bottom limit stays on the page; a paragraph begun on it is finished there.
      {"a\rb\nc", "101,77 a\n101,77 b\n101,77 c", 2, {}, shortPage},
      {"aaaa bbbb cccc\nz", "101,77 aaaa bbbb \n101,97 cccc\n101,77 z", 2, {}, shortPage},
      // Margins that leave no room, or wrap round, still draw everything.
      {"a b c",
       "1225,77 a \n1225,97 b \n1225,117 c",
       1,
       {msg::kLineOverflow},
       [](RenderParams& p) { p.leftMarginMm = 150, p.rightMarginMm = 150; }},
      {"a\nb", "101,77 a\n101,97 b", 1, {}, [](RenderParams& p) { p.bottomMarginMm = 400; }},
  });
}

}  // namespace
}  // namespace pw::testing
