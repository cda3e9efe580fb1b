// Image references reach join and the default extension; these are the cases they do not.
#include "support/path_string.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

namespace pw {
namespace {

std::string textOf(const PathString& path) {
  return path.text() ? path.text() : "<null>";
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
    EXPECT_EQ(textOf(path), joined);
    EXPECT_EQ(path.length(), static_cast<int32_t>(std::string(joined).size()));
  }
  PathString path("logo.tif");
  path.assign("abc", 0);
  EXPECT_EQ(path.text(), nullptr);
  path.assign("abcdef", 6);
  path.assign("xy", 2);  // reuses the longer block
  EXPECT_EQ(textOf(path), "xy");
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

TEST(PathStringTest, FileNamePartEndsAtTheLastSlashOnly) {
  for (const auto& [path, name] : {std::pair{"Module.dll", 0},
                                   {"", 0},
                                   {"D:Module.dll", 0},
                                   {"C:\\dir\\Module.dll", 0},
                                   {"/dir/Module.dll", 5},
                                   {"/dir/", 5}}) {
    EXPECT_EQ(fileNamePart(path), path + name);
  }
}

}  // namespace
}  // namespace pw
