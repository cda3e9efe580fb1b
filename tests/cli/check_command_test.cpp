// `pagewright check` on what the converter writes, and on that with one flaw each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "command_runner.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

// a.tif: a letter of two pages.
class CheckCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string text;
    for (int i = 0; i < 120; ++i) text += "line " + std::to_string(i) + " of a letter\n";
    dir.write("a.txt", text);
    ASSERT_EQ(runCommand({"a.txt", "-o", "a.tif"}, dir.path()).status, 0);
  }

  TempDir dir;
};

// Each flaw made by libtiff's tools in a copy of a.tif, f.tif.
TEST_F(CheckCommand, NamesEachDepartureFromClassF) {
  const std::pair<const char*, const char*> flaws[] = {
      {"tiffset -s ImageWidth 1700 f.tif", "page 1: ImageWidth is 1700, expected 1728\n"},
      {"tiffcp -c lzw a.tif f.tif",
       "page 1: Compression is LZW, expected CCITT Group 3 or Group 4"},
      {"tiffcp -c none a.tif f.tif", "page 1: Compression is none"},
      {"tiffset -s PhotometricInterpretation 1 f.tif",
       "page 1: PhotometricInterpretation is 1, expected 0 (min-is-white)\n"},
      {"tiffset -s XResolution 200 f.tif", "page 1: XResolution is 200, expected 204\n"},
      {"tiffset -s YResolution 150 f.tif", "page 1: YResolution is 150, expected 196 or 98\n"},
      {"tiffcp -r 16 a.tif f.tif", " strips, expected one strip per page\n"},
      {"tiffset -u FillOrder f.tif", "page 1: FillOrder is missing\n"},
      {"tiffset -u PageNumber f.tif", "page 1: PageNumber is missing\n"},
      {"tiffset -d 1 -s PageNumber 1 3 f.tif", "page 2: PageNumber is 1/3, expected 1/2\n"},
      {"tiffset -u SubfileType f.tif", "page 1: NewSubfileType is missing, expected 2 (page)\n"},
  };
  for (const auto& [make, problem] : flaws) {
    SCOPED_TRACE(make);
    ASSERT_EQ(
        runProgram({"/bin/sh", "-c", std::string("cp a.tif f.tif && ") + make}, dir.path()).status,
        0);
    const CommandOutput check = runCommand({"check", "f.tif"}, dir.path());
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(check.out, HasSubstr(problem));
    EXPECT_THAT(check.out, HasSubstr("f.tif: not Class F"));
  }
}

// What the converter writes passes in each coding; a page that does not decode is named with its
// row, files that are no TIFF are named once and libtiff writes nothing itself: each fails the run.
TEST_F(CheckCommand, PassesEveryCodingAndNamesWhatIsNoFaxOnce) {
  fs::copy_file(dir.file("a.tif"), dir.file("bad.tif"));
  ASSERT_TRUE(scrambleStrip(dir.file("bad.tif"), 2));
  dir.write("text.tif", "plain text, not a TIFF\n");
  dir.write("empty.tif", "");
  // The other codings, blank pages included (a.tif is 1-D).
  dir.write("b.txt", readFile(dir.path() / "a.txt") + std::string(200, '\n') + "last line\n");
  for (const auto& args : {std::vector<std::string>{"b.txt", "-o", "2d.tif", "--compression", "2"},
                           {"b.txt", "-o", "g4.tif", "--compression", "g4", "-n"}}) {
    ASSERT_EQ(runCommand(args, dir.path()).status, 0);
  }
  EXPECT_THAT(runProgram({"/usr/bin/tiffinfo", "g4.tif"}, dir.path()).out,
              HasSubstr("Compression Scheme: CCITT Group 4\n"));
  const CommandOutput check = runCommand(
      {"check", "a.tif", "2d.tif", "g4.tif", "bad.tif", "text.tif", "empty.tif"}, dir.path());
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, HasSubstr("a.tif: OK, Class F, 2 pages\n"));
  EXPECT_THAT(check.out, HasSubstr("2d.tif: OK, Class F"));
  EXPECT_THAT(check.out, HasSubstr("g4.tif: OK, Class F"));
  EXPECT_THAT(check.out, ContainsRegex("\nbad.tif: page 2: row [0-9]+ cannot be decoded"));
  EXPECT_THAT(check.out, Not(HasSubstr("bad.tif: page 1:")));
  EXPECT_THAT(check.out, HasSubstr("empty.tif: Cannot read TIFF header\n"));
  EXPECT_THAT(check.out, HasSubstr("text.tif: not Class F, 1 problem\n"));
  EXPECT_THAT(check.out, Not(HasSubstr("tif: text.tif")));
  EXPECT_EQ(check.err, "");
}

}  // namespace
}  // namespace pw::cli::testing
