// UTF-16 text files reach the 1252 table and the '?' for the rest (line_list_test); these are the
// cases they do not: lone surrogates, unassigned bytes and a destination too small.
#include "platform/wide_to_ansi.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/last_error.h"

namespace pw {
namespace {

TEST(WideToAnsiTest, LoneSurrogatesAndUnassignedBytes) {
  const char16_t loneSurrogates[] = {u'a', 0xDC00, u'b', 0xD800, 0};
  char buffer[8];
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, loneSurrogates), "a?b?");
  // The bytes 1252 leaves unassigned pass as the C1 controls of the same value.
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, u"\u0081\u008D\u0090"), "\x81\x8D\x90");
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, nullptr), "");
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
