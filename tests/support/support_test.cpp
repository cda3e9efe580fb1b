// The support pieces: LineList, the file view under its load and the conversion of its UTF-16
// text, and PathString. UTF-16 files reach the 1252 table and the '?' for the rest, image
// references reach join and the default extension, and job fields reach nextLine; the pieces' own
// tests take the cases those do not.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/temp_dir.h"
#include "platform/last_error.h"
#include "platform/mapped_file.h"
#include "platform/wide_to_ansi.h"
#include "support/line_list.h"
#include "support/path_string.h"

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
  for (char16_t unit : text)
    bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes;
}

class LineListTest : public ::testing::Test {
 protected:
  Lines load(std::string_view bytes) {
    SCOPED_TRACE(::testing::PrintToString(std::string(bytes.substr(0, 40))));
    EXPECT_EQ(list.load(dir.write("text", bytes).c_str()), 1);
    return linesOf(list);
  }

  testing::TempDir dir;
  LineList list;
};

TEST_F(LineListTest, EveryLineEndEndsALineAndEmptyLinesBecomeSpaces) {
  const struct {
    std::u16string_view text;
    Lines lines;
  } cases[] = {{u"one\rtwo\r\nthree\n\n", {"one", "two", "three", " "}},
               {u"\na\n\rb\r\n", {" ", "a", " ", "b"}},
               {u"\r", {" "}},
               {u"\r\n\n\r\r\n", {" ", " ", " ", " "}}};
  for (const auto& test : cases) {
    EXPECT_EQ(load(std::string(test.text.begin(), test.text.end())), test.lines);
    // The UTF-16 text is converted inside the list's own block; line ends must not overtake it.
    EXPECT_EQ(load(utf16(test.text)), test.lines);
  }
}

TEST_F(LineListTest, EncodingsAndTheEndOfTheText) {
  const struct {
    std::string bytes;
    Lines lines;
  } cases[] = {
      // ANSI bytes are taken as they are, up to the first NUL; a big-endian mark is not one.
      {"a\nb\0c\nd"s, {"a", "b"}},
      {"\xE9t\xE9\x80\x01\xFF", {"\xE9t\xE9\x80\x01\xFF"}},
      {"\xFE\xFF\0a"s, {"\xFE\xFF"}},
      // A file that fills its pages exactly has no byte after it to stop at; the end of the file
      // does.
      {std::string(4096, 'x'), {std::string(4096, 'x')}},
      {utf16(std::u16string(2047, u'y')), {std::string(2047, 'y')}},
      // UTF-16 becomes the ANSI code page, '?' for the rest; a unit 0 ends the text, an odd last
      // byte belongs to no unit, and without its mark it is ANSI bytes.
      {utf16(u"caf\u00E9 \u20AC\u0100\u4E2D\U0001F600!"),
       {"caf\xE9 \x80" + std::string(3, '?') + "!"}},
      {utf16(u"a\nb\0c\nd"s), {"a", "b"}},
      {utf16(u"a\nb") + "c", {"a", "b"}},
      {utf16(u"ab", /*mark=*/false), {"a"}},
      {""s, {}},
      {"\xFF\xFE\x41"s, {}},
  };
  for (const auto& test : cases) EXPECT_EQ(load(test.bytes), test.lines);
  setLastError(kErrorSuccess);
  load("");
  EXPECT_EQ(lastError(), kErrorNoMoreItems);
  EXPECT_EQ(list.lines(), nullptr);
}

TEST_F(LineListTest, FailuresLeaveTheListEmpty) {
  const std::string good = dir.write("good", "a\nb"), other = dir.write("other", "c");
  const auto fails = [&](const std::string& path, uint32_t code) {
    ASSERT_EQ(list.load(other.c_str()), 1);
    EXPECT_EQ(list.load(path.c_str()), 0);
    EXPECT_EQ(lastError(), code);
    EXPECT_STREQ(list.firstLine(), "");
  };
  fails(dir.file("missing"), kErrorFileNotFound);
  fails(dir.file("nodir/missing"), kErrorPathNotFound);
  fails(dir.path(), kErrorDirectoryNotSupported);
  // A writer holding the file open shuts readers out.
  const int writer = open(good.c_str(), O_WRONLY);
  fails(good, kErrorSharingViolation);
  close(writer);
}

TEST_F(LineListTest, FileViewOfTheWholeFileThatOutlivesATruncationAndLetsWritersIn) {
  std::string contents(4 + 5 * 4096 + 13, 'x');
  contents.replace(0, 4, "abc\0", 4);
  const std::string path = dir.write("data", contents);
  MappedFile file;
  const unsigned char* view = file.open(path.c_str());
  ASSERT_NE(view, nullptr);
  // The sharing check's lease is released after the check: a writer may open the file now.
  EXPECT_EQ(close(open(path.c_str(), O_WRONLY)), 0);
  // A mapping would raise SIGBUS on the pages cut off; the view keeps what was there.
  ASSERT_EQ(truncate(path.c_str(), 0), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view), file.size()), contents);
  // Closing releases everything but never touches the caller's last-error value.
  setLastError(1234);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(file.close(), 0);
  EXPECT_EQ(lastError(), 1234u);
  EXPECT_EQ(file.view(), nullptr);
}

TEST(WideToAnsiTest, LoneSurrogatesUnassignedBytesAndTheDestinationsLimit) {
  const char16_t loneSurrogates[] = {u'a', 0xDC00, u'b', 0xD800, 0};
  char buffer[8] = "xxxxxxx";
  wideToAnsi(buffer, sizeof buffer, loneSurrogates);
  // The written NUL counts: the next byte is cleared as well.
  EXPECT_EQ(std::string(buffer, 7), std::string("a?b?\0\0x", 7));
  // The bytes 1252 leaves unassigned pass as the C1 controls of the same value.
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, u"\u0081\u008D\u0090"), "\x81\x8D\x90");
  EXPECT_STREQ(wideToAnsi(buffer, sizeof buffer, nullptr), "");
  setLastError(kErrorSuccess);
  EXPECT_STREQ(wideToAnsi(buffer, 4, u"abc"), "abc");  // exactly enough room
  EXPECT_EQ(lastError(), kErrorSuccess);
  // One byte short: the conversion fails and leaves an empty string; with no room at all not even
  // a NUL is written.
  for (const char16_t* source : {u"abc", u"a\u0100c"}) {
    EXPECT_STREQ(wideToAnsi(buffer, 3, source), "");
    EXPECT_EQ(lastError(), kErrorInsufficientBuffer);
  }
  buffer[0] = 'x';
  wideToAnsi(buffer, 0, u"abc");
  EXPECT_EQ(buffer[0], 'x');
}

TEST(PathStringTest, JoinAssignAndExtensionsFollowPosixRules) {
  // An absolute component stands on its own, as drive and UNC paths do on Windows, whose syntax
  // means nothing here.
  for (const auto& [directory, component, joined] : {std::tuple{"/img/", "logo", "/img/logo"},
                                                     {"/img", "/pics/logo", "/pics/logo"},
                                                     {"/img", "//server/x", "//server/x"},
                                                     {"/img", "D:\\pics\\x", "/img/D:\\pics\\x"}}) {
    PathString path(directory);
    path.join(component);
    EXPECT_STREQ(path.text(), joined);
    EXPECT_EQ(path.length(), static_cast<int32_t>(std::string(joined).size()));
  }
  PathString path("logo.tif");
  path.assign("abc", 0);
  EXPECT_EQ(path.text(), nullptr);
  path.assign("abcdef", 6);
  path.assign("xy", 2);  // reuses the longer block
  EXPECT_STREQ(path.text(), "xy");
  EXPECT_EQ(path.length(), 2);
  // null only cuts; a dot in a directory's name is no extension, a backslash no separator.
  for (const auto& [before, extension, after] : {std::tuple{"a.b.c", ".c", "a.b"},
                                                 {".tif", ".tif", ""},
                                                 {"", "", ""},
                                                 {"dir.old\\logo", ".old\\logo", "dir"}}) {
    PathString cut(before);
    EXPECT_STREQ(cut.extension(), extension);
    EXPECT_STREQ(cut.replaceExtension(nullptr), after);
  }
  EXPECT_STREQ(PathString("dir.old/logo").extension(), "");
}

}  // namespace
}  // namespace pw
