#include "support/line_list.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/temp_dir.h"
#include "platform/last_error.h"

namespace pw {
namespace {

using Lines = std::vector<std::string>;
using namespace std::literals;

Lines linesOf(const LineList& list) {
  Lines lines;
  for (const char* line = list.firstLine(); *line; line = nextLine(line)) lines.emplace_back(line);
  return lines;
}

// UTF-16LE bytes, after a byte-order mark unless told otherwise.
std::string utf16(std::u16string_view text, bool mark = true) {
  std::string bytes = mark ? "\xFF\xFE"s : ""s;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

class LineListTest : public ::testing::Test {
 protected:
  Lines load(std::string_view bytes, int expectedResult = 1) {
    const std::string path = dir_.write("text" + std::to_string(files_++), bytes);
    LineList list;
    EXPECT_EQ(list.load(path.c_str()), expectedResult);
    return linesOf(list);
  }

  testing::TempDir dir_;
  int files_ = 0;
};

TEST_F(LineListTest, EveryLineEndEndsALineAndEmptyLinesBecomeSpaces) {
  const struct {
    std::u16string_view text;
    Lines lines;
  } cases[] = {
      {u"a\r\nb", {"a", "b"}},
      {u"a\rb", {"a", "b"}},
      {u"a\nb", {"a", "b"}},
      {u"a\n\rb", {"a", " ", "b"}},
      {u"a\n\nb", {"a", " ", "b"}},
      {u"a\r\n\r\nb", {"a", " ", "b"}},
      {u"\nabc", {" ", "abc"}},
      {u"a\r\n", {"a"}},
      {u"a", {"a"}},
      {u"\r", {" "}},
      {u"\r\n\n\r\r\n", {" ", " ", " ", " "}},
      {u"one\rtwo\r\nthree\nfour\n\n", {"one", "two", "three", "four", " "}},
  };
  for (const auto& test : cases) {
    std::string ansi;
    for (char16_t unit : test.text) ansi += static_cast<char>(unit);
    SCOPED_TRACE(::testing::PrintToString(ansi));
    EXPECT_EQ(load(ansi), test.lines);
    // The UTF-16 text is converted inside the list's own block; line ends must not overtake it.
    EXPECT_EQ(load(utf16(test.text)), test.lines);
  }
}

TEST_F(LineListTest, AnsiBytesAreTakenAsTheyAre) {
  EXPECT_EQ(load("a\nb\0c\nd"s), (Lines{"a", "b"}));
  EXPECT_EQ(load("\0abc"s), Lines{});
  EXPECT_EQ(load("x"), Lines{"x"});
  EXPECT_EQ(load("\xFF"), Lines{"\xFF"});
  EXPECT_EQ(load("\xE9t\xE9\x80\x01"), Lines{"\xE9t\xE9\x80\x01"});
  // A big-endian mark is not recognised.
  EXPECT_EQ(load("\xFE\xFF\0a"s), Lines{"\xFE\xFF"});
  EXPECT_EQ(load("\xFE\xFFz\n"s), Lines{"\xFE\xFFz"});
  // A file that fills its pages exactly has no byte after it to stop at; the end of the file does.
  EXPECT_EQ(load(std::string(4096, 'x')), Lines{std::string(4096, 'x')});
  EXPECT_EQ(load(utf16(std::u16string(2047, u'y'))), Lines{std::string(2047, 'y')});
}

TEST_F(LineListTest, Utf16IsConvertedToTheAnsiCodePage) {
  EXPECT_EQ(load(utf16(u"caf\u00E9 \u20AC5\r\nx")), (Lines{"caf\xE9 \x80"
                                                           "5",
                                                           "x"}));
  EXPECT_EQ(load(utf16(u"\u0100\u4E2D\U0001F600!")), Lines{"?"
                                                           "?"
                                                           "?!"});
  // A unit 0 ends the text.
  EXPECT_EQ(load(utf16(u"a\nb\0c\nd"s)), (Lines{"a", "b"}));
  // An odd last byte belongs to no unit.
  EXPECT_EQ(load(utf16(u"a\nb") + "c"), (Lines{"a", "b"}));
  EXPECT_EQ(load(utf16(u"a\n") + "\n"), Lines{"a"});
  // Without its mark UTF-16 is ANSI bytes, the zero high bytes ending the text.
  EXPECT_EQ(load(utf16(u"ab", /*mark=*/false)), Lines{"a"});
}

TEST_F(LineListTest, EmptyFilesLoadIntoEmptyLists) {
  for (std::string_view bytes : {""sv, "\xFF\xFE"sv, "\xFF\xFE\x41"sv}) {
    setLastError(kErrorSuccess);
    LineList list("old line");
    const std::string path = dir_.write("empty", bytes);
    EXPECT_EQ(list.load(path.c_str()), 1);
    EXPECT_STREQ(list.firstLine(), "");
    if (bytes.empty()) {
      EXPECT_EQ(lastError(), kErrorNoMoreItems);
      EXPECT_EQ(list.lines(), nullptr);
    }
  }
}

TEST_F(LineListTest, FailuresLeaveTheListEmpty) {
  LineList list;
  const std::string good = dir_.write("good", "a\nb");
  ASSERT_EQ(list.load(good.c_str()), 1);
  ASSERT_EQ(linesOf(list), (Lines{"a", "b"}));

  EXPECT_EQ(list.load(dir_.file("missing").c_str()), 0);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_STREQ(list.firstLine(), "");

  ASSERT_EQ(list.load(good.c_str()), 1);
  EXPECT_EQ(list.load(dir_.path().c_str()), 0);
  EXPECT_EQ(lastError(), kErrorDirectoryNotSupported);
  EXPECT_STREQ(list.firstLine(), "");

  // A writer holding the file open shuts readers out; other readers do not.
  ASSERT_EQ(list.load(good.c_str()), 1);
  const int writer = open(good.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  EXPECT_EQ(list.load(good.c_str()), 0);
  EXPECT_EQ(lastError(), kErrorSharingViolation);
  EXPECT_STREQ(list.firstLine(), "");
  close(writer);
  const int reader = open(good.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(list.load(good.c_str()), 1);
  EXPECT_EQ(linesOf(list), (Lines{"a", "b"}));
  close(reader);
}

TEST(LineListTextTest, OneTextIsOneLine) {
  LineList list("a\r\nb");
  EXPECT_STREQ(list.firstLine(), "a\r\nb");
  EXPECT_STREQ(nextLine(list.firstLine()), "");
  EXPECT_EQ(list.lines(), list.firstLine());

  EXPECT_EQ(LineList(nullptr).lines(), nullptr);
  EXPECT_EQ(LineList("").lines(), nullptr);
  EXPECT_STREQ(LineList(nullptr).firstLine(), "");
  EXPECT_STREQ(nextLine(nullptr), "");
  EXPECT_STREQ(nextLine(""), "");

  // Host job fields come in the same layout.
  const char field[] = "first\0second\0";
  EXPECT_STREQ(nextLine(field), "second");
  EXPECT_STREQ(nextLine(nextLine(field)), "");
}

}  // namespace
}  // namespace pw
