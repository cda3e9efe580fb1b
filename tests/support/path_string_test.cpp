#include "support/path_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace pw {
namespace {

std::string textOf(const PathString& path) {
  return path.text() ? path.text() : "<null>";
}

TEST(PathStringTest, EmptyPathsHaveNoText) {
  EXPECT_EQ(PathString(nullptr).text(), nullptr);
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
    EXPECT_STREQ(dir.extension(), "");
    EXPECT_STREQ(dir.replaceExtension(".tif"), ".tif");
    EXPECT_EQ(dir.length(), 4);
  }
  PathString cut("");
  ASSERT_NE(cut.replaceExtension(nullptr), nullptr);  // a one-byte block, never null afterwards
  EXPECT_STREQ(cut.text(), "");
}

TEST(PathStringTest, JoinAndExtensionsFollowPosixRules) {
  const struct {
    const char* directory;
    const char* component;
    std::string joined;
  } joins[] = {
      {nullptr, "logo", "logo"},
      {"/img", "logo", "/img/logo"},
      {"/img/", "logo", "/img/logo"},
      {"img", "sub/logo", "img/sub/logo"},
      // An absolute component stands on its own, as drive and UNC paths do on Windows.
      {"/img", "/pics/logo", "/pics/logo"},
      {"/img", "//server/share/logo", "//server/share/logo"},
      // Windows syntax means nothing here.
      {"/img", "D:\\pics\\logo", "/img/D:\\pics\\logo"},
  };
  for (const auto& c : joins) {
    PathString path(c.directory);
    path.join(c.component);
    EXPECT_EQ(textOf(path), c.joined);
    EXPECT_EQ(path.length(), static_cast<int32_t>(c.joined.size()));
  }
  const struct {
    const char* path;
    const char* extension;
    const char* newExtension;
    std::string replaced;
  } extensions[] = {
      {"logo.tif", ".tif", ".bmp", "logo.bmp"},
      {"a.b.c", ".c", nullptr, "a.b"},
      {"logo.", ".", nullptr, "logo"},
      {".tif", ".tif", nullptr, ""},
      {"logo", "", ".tif", "logo.tif"},
      {"dir.old/logo", "", ".tif", "dir.old/logo.tif"},
      {"dir.old\\logo", ".old\\logo", nullptr, "dir"},
      {"/usr/lib/libpagewright.so", ".so", nullptr, "/usr/lib/libpagewright"},
  };
  for (const auto& c : extensions) {
    PathString path(c.path);
    // A dot's extension lies inside the text.
    const std::size_t at = std::strlen(c.path) - std::strlen(c.extension);
    EXPECT_EQ(path.extension(), *c.extension ? path.text() + at : path.extension());
    EXPECT_STREQ(path.extension(), c.extension);
    EXPECT_EQ(path.replaceExtension(c.newExtension), c.replaced);
  }
}

TEST(PathStringTest, FileNamePartEndsAtTheLastSeparatorOnly) {
  const struct {
    const char* path;
    std::size_t nameAt;
  } cases[] = {{"Module.dll", 0},      {"", 0},      {"D:Module.dll", 0},
               {"/dir/Module.dll", 5}, {"/dir/", 5}, {"C:\\dir\\Module.dll", 0}};
  for (const auto& c : cases) EXPECT_EQ(fileNamePart(c.path), c.path + c.nameAt) << c.path;
}

}  // namespace
}  // namespace pw
