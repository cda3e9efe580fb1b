#include "platform/wide_to_ansi.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/last_error.h"

namespace pw {
namespace {

TEST(WideToAnsiTest, ConvertsToWindows1252WithQuestionMarksForTheRest) {
  const char16_t loneSurrogates[] = {u'a', 0xDC00, u'b', 0xD800, 0};
  const struct {
    const char16_t* source;
    std::string ansi;
  } cases[] = {
      {u"Fax \u00E9\u00FF\u20AC\u2122", "Fax \xE9\xFF\x80\x99"},
      // A lone surrogate is one character.
      {loneSurrogates, "a?b?"},
      // The bytes 1252 leaves unassigned pass as the C1 controls of the same value.
      {u"\u0081\u008D\u0090", "\x81\x8D\x90"},
      {nullptr, ""},
  };
  char buffer[32];
  for (const auto& c : cases) EXPECT_EQ(wideToAnsi(buffer, sizeof buffer, c.source), c.ansi);
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, u"abcdef", /*sourceUnits=*/3), "abc");
}

TEST(WideToAnsiTest, ResultIsAlwaysTerminatedWithinTheDestination) {
  char buffer[8];
  // The written NUL counts: the next byte is cleared as well.
  std::string(7, 'x').copy(buffer, 7);
  wideToAnsi(buffer, sizeof buffer, u"abc");
  EXPECT_EQ(std::string(buffer, 6), std::string("abc\0\0x", 6));
  setLastError(kErrorSuccess);
  EXPECT_STREQ(wideToAnsi(buffer, 4, u"abc"), "abc");  // exactly enough room
  EXPECT_EQ(lastError(), kErrorSuccess);
  // One byte short: the conversion fails and leaves an empty string.
  for (const char16_t* source : {u"abc", u"a\u0100c"}) {
    EXPECT_STREQ(wideToAnsi(buffer, 3, source), "");
    EXPECT_EQ(lastError(), kErrorInsufficientBuffer);
  }
  // No room at all: not even a NUL is written.
  buffer[0] = 'x';
  wideToAnsi(buffer, 0, u"abc");
  EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
}  // namespace pw
