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
  PathString path("logo.tif");
  path.assign("abc", 0);
  EXPECT_EQ(path.text(), nullptr);
  path.assign("abcdef", 6);
  path.assign("xy", 2);  // reuses the longer block
  EXPECT_EQ(textOf(path), "xy");
  EXPECT_EQ(path.length(), 2);
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
      {"/img/", "logo", "/img/logo"},
      {"img", "sub/x", "img/sub/x"},
      // Nothing empties the path. An absolute component stands on its own, as drive and UNC
      // paths do on Windows, whose syntax means nothing here.
      {"/img", nullptr, "<null>"},
      {"/img", "", "<null>"},
      {"/img", "/pics/logo", "/pics/logo"},
      {"/img", "//server/x", "//server/x"},
      {"/img", "D:\\pics\\x", "/img/D:\\pics\\x"},
  };
  for (const auto& c : joins) {
    PathString path(c.directory);
    path.join(c.component);
    EXPECT_EQ(textOf(path), c.joined);
    EXPECT_EQ(path.length(), path.text() ? static_cast<int32_t>(c.joined.size()) : 0);
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
      {"", "", ".tif", ".tif"},
      {"dir.old/logo", "", ".tif", "dir.old/logo.tif"},
      {"dir.old\\logo", ".old\\logo", nullptr, "dir"},
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
  for (const char* path : {"Module.dll", "", "D:Module.dll", "C:\\dir\\Module.dll"}) {
    EXPECT_EQ(fileNamePart(path), path);
  }
  const char* posix = "/dir/Module.dll";
  EXPECT_EQ(fileNamePart(posix), posix + 5);
  const char* directory = "/dir/";
  EXPECT_EQ(fileNamePart(directory), directory + 5);
}

}  // namespace
}  // namespace pw
