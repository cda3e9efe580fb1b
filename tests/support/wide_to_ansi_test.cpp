#include "platform/wide_to_ansi.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/last_error.h"

namespace pw {
namespace {

std::string converted(const char16_t* source) {
  char buffer[32];
  return wideToAnsi(buffer, sizeof buffer, source);
}

TEST(WideToAnsiTest, ConvertsToWindows1252WithQuestionMarksForTheRest) {
  EXPECT_EQ(converted(u"Fax \u00E9\u00FF\u20AC\u2122"), "Fax \xE9\xFF\x80\x99");
  EXPECT_EQ(converted(u"\u0100x\u4E2D"), "?x?");
  // A character outside the BMP is one character, a lone surrogate one more.
  EXPECT_EQ(converted(u"a\U0001F600b"), "a?b");
  const char16_t loneSurrogates[] = {u'a', 0xDC00, u'b', 0xD800, 0};
  EXPECT_EQ(converted(loneSurrogates), "a?b?");
  // The bytes 1252 leaves unassigned pass as the C1 controls of the same value.
  EXPECT_EQ(converted(u"\u0081\u008D\u0090"), "\x81\x8D\x90");
  EXPECT_EQ(converted(nullptr), "");

  char buffer[8];
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, u"abcdef", /*sourceUnits=*/3), "abc");
}

TEST(WideToAnsiTest, ResultIsAlwaysTerminatedWithinTheDestination) {
  char buffer[8];
  // The written NUL counts: the next byte is cleared as well.
  std::string(7, 'x').copy(buffer, 7);
  wideToAnsi(buffer, sizeof buffer, u"abc");
  EXPECT_EQ(std::string(buffer, 6), std::string("abc\0\0x", 6));

  // Exactly enough room for the text and its NUL.
  setLastError(kErrorSuccess);
  EXPECT_STREQ(wideToAnsi(buffer, 4, u"abc"), "abc");
  EXPECT_EQ(lastError(), kErrorSuccess);

  // One byte short: the conversion fails and leaves an empty string.
  EXPECT_STREQ(wideToAnsi(buffer, 3, u"abc"), "");
  EXPECT_EQ(lastError(), kErrorInsufficientBuffer);
  setLastError(kErrorSuccess);
  EXPECT_STREQ(wideToAnsi(buffer, 3, u"a\u0100c"), "");
  EXPECT_EQ(lastError(), kErrorInsufficientBuffer);

  // No room at all: not even a NUL is written.
  buffer[0] = 'x';
  wideToAnsi(buffer, 0, u"abc");
  EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
}  // namespace pw
