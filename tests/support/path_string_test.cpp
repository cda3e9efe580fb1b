#include "support/path_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace pw {
namespace {

std::string textOf(const PathString& path) {
  return path.text() ? path.text() : "<null>";
}

std::string joined(const char* directory, const char* component) {
  PathString path(directory);
  path.join(component);
  EXPECT_EQ(path.length(), path.text() ? static_cast<int32_t>(std::strlen(path.text())) : 0);
  return textOf(path);
}

std::string withExtension(const char* text, const char* extension) {
  PathString path(text);
  return path.replaceExtension(extension);
}

TEST(PathStringTest, EmptyPathsHaveNoText) {
  PathString none(nullptr);
  PathString empty("");
  EXPECT_EQ(none.text(), nullptr);
  EXPECT_EQ(empty.text(), nullptr);
  EXPECT_EQ(empty.length(), 0);
  EXPECT_STREQ(empty.extension(), "");

  PathString path("logo.tif");
  path.assign("abc", 0);
  EXPECT_EQ(path.text(), nullptr);
  path.assign("abcdef", 6);
  path.assign("xy", 2);  // reuses the longer block
  EXPECT_EQ(textOf(path), "xy");
  EXPECT_EQ(path.length(), 2);

  // Joining with nothing empties the path; a new extension is then the whole path.
  for (const char* nothing : {static_cast<const char*>(nullptr), ""}) {
    PathString dir("/img");
    dir.join(nothing);
    EXPECT_EQ(dir.text(), nullptr);
    EXPECT_EQ(dir.length(), 0);
    EXPECT_STREQ(dir.extension(), "");
    EXPECT_STREQ(dir.replaceExtension(".tif"), ".tif");
    EXPECT_EQ(dir.length(), 4);
  }
  PathString cut("");
  ASSERT_NE(cut.replaceExtension(nullptr), nullptr);  // a one-byte block, never null afterwards
  EXPECT_STREQ(cut.text(), "");
}

TEST(PathStringTest, ExtensionIsTheDotSuffixOfTheLastComponent) {
  PathString tif("logo.tif");
  EXPECT_STREQ(tif.extension(), ".tif");
  EXPECT_EQ(tif.extension(), tif.text() + 4);
  EXPECT_STREQ(PathString("a.b.c").extension(), ".c");
  EXPECT_STREQ(PathString("logo.").extension(), ".");
  PathString onlyExtension(".tif");
  EXPECT_EQ(onlyExtension.extension(), onlyExtension.text());

  EXPECT_EQ(withExtension("Module.dll", nullptr), "Module");
  EXPECT_EQ(withExtension("a.b.c", nullptr), "a.b");
  EXPECT_EQ(withExtension("logo", ".tif"), "logo.tif");
  EXPECT_EQ(withExtension("logo.bmp", ".tif"), "logo.tif");
  EXPECT_EQ(withExtension(".tif", nullptr), "");
}

TEST(PathStringTest, FileNamePartEndsAtTheLastSeparatorOnly) {
  const char* bare = "Module.dll";
  EXPECT_EQ(fileNamePart(bare), bare);
  const char* empty = "";
  EXPECT_EQ(fileNamePart(empty), empty);
  const char* drive = "D:Module.dll";
  EXPECT_EQ(fileNamePart(drive), drive);
}

TEST(PathStringTest, PosixRules) {
  EXPECT_EQ(joined(nullptr, "logo"), "logo");
  EXPECT_EQ(joined("/img", "logo"), "/img/logo");
  EXPECT_EQ(joined("/img/", "logo"), "/img/logo");
  EXPECT_EQ(joined("img", "sub/logo"), "img/sub/logo");
  // An absolute component stands on its own, as drive and UNC paths do on Windows.
  EXPECT_EQ(joined("/img", "/pics/logo"), "/pics/logo");
  EXPECT_EQ(joined("/img", "//server/share/logo"), "//server/share/logo");
  // Windows syntax means nothing here.
  EXPECT_EQ(joined("/img", "D:\\pics\\logo"), "/img/D:\\pics\\logo");

  EXPECT_STREQ(PathString("dir.old/logo").extension(), "");
  EXPECT_STREQ(PathString("dir.old\\logo").extension(), ".old\\logo");
  EXPECT_EQ(withExtension("dir.old/logo", ".tif"), "dir.old/logo.tif");
  EXPECT_EQ(withExtension("/usr/lib/libpagewright.so", nullptr), "/usr/lib/libpagewright");

  const char* path = "/dir/Module.dll";
  EXPECT_EQ(fileNamePart(path), path + 5);
  const char* directory = "/dir/";
  EXPECT_EQ(fileNamePart(directory), directory + 5);
  const char* backslashed = "C:\\dir\\Module.dll";
  EXPECT_EQ(fileNamePart(backslashed), backslashed);
}

}  // namespace
}  // namespace pw
