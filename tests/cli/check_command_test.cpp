// `pagewright check` on a valid Class F file and on files with one flaw each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "command_runner.h"
#include "fax_files.h"

namespace pw::cli::testing {
namespace {

using ::testing::HasSubstr;

// Every coding at both resolutions, on pages of text and on blank ones.
class ConvertedCheck : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {};

TEST_P(ConvertedCheck, AcceptsWhatTheConverterWrites) {
  const auto [compression, resolution] = GetParam();
  ScratchDir dir;
  std::string text;
  for (int line = 0; line < 120; ++line) {
    text += "Line " + std::to_string(line) + ": sphinx of black quartz, judge my vow.\n";
  }
  dir.write("a.txt", text + std::string(200, '\n') + "last line\n");
  ASSERT_EQ(
      runCommand({"a.txt", "-o", "a.tif", "--compression", compression, "--resolution", resolution},
                 dir.path())
          .status,
      0);

  EXPECT_EQ(tiffTag16(dir.file("a.tif"), TIFFTAG_COMPRESSION),
            std::string(compression) == "g4" ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
  const CommandOutput check = runCommand({"check", "a.tif"}, dir.path());
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_THAT(check.out, HasSubstr("a.tif: OK"));
}

INSTANTIATE_TEST_SUITE_P(Codings, ConvertedCheck,
                         ::testing::Combine(::testing::Values("g3", "g3-2d", "g4"),
                                            ::testing::Values("fine", "normal")));

struct Flaw {
  const char* name;
  std::function<void(TiffLayout&)> apply;
  const char* problem;  // what the report must name
};

class CheckFlaw : public ::testing::TestWithParam<Flaw> {};

TEST_P(CheckFlaw, IsNamedAndFailsTheCheck) {
  ScratchDir dir;
  TiffLayout layout;
  GetParam().apply(layout);
  ASSERT_TRUE(writeFaxTiff(dir.file("flawed.tif"), 2, layout));

  const CommandOutput check = runCommand({"check", "flawed.tif"}, dir.path());
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, HasSubstr(GetParam().problem));
  EXPECT_THAT(check.out, HasSubstr("not Class F"));
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, CheckFlaw,
    ::testing::Values(
        Flaw{"Width", [](TiffLayout& l) { l.width = 1700; }, "ImageWidth is 1700, expected 1728"},
        Flaw{"Compression", [](TiffLayout& l) { l.compression = COMPRESSION_LZW; },
             "Compression is LZW"},
        Flaw{"Uncompressed", [](TiffLayout& l) { l.compression = COMPRESSION_NONE; },
             "Compression is none"},
        Flaw{"Photometric", [](TiffLayout& l) { l.photometric = PHOTOMETRIC_MINISBLACK; },
             "PhotometricInterpretation is 1"},
        Flaw{"XResolution", [](TiffLayout& l) { l.xResolution = 200; }, "XResolution is 200"},
        Flaw{"YResolution", [](TiffLayout& l) { l.yResolution = 150; }, "YResolution is 150"},
        Flaw{"Strips", [](TiffLayout& l) { l.rowsPerStrip = 16; }, "4 strips"},
        Flaw{"FillOrder", [](TiffLayout& l) { l.fillOrder = false; }, "FillOrder is missing"},
        Flaw{"PageNumber", [](TiffLayout& l) { l.pageNumber = false; }, "PageNumber is missing"},
        Flaw{"PageTotal", [](TiffLayout& l) { l.pageTotalOffset = 1; },
             "page 2: PageNumber is 1/3, expected 1/2"},
        Flaw{"Subfile", [](TiffLayout& l) { l.pageSubfile = false; }, "NewSubfileType is missing"}),
    [](const ::testing::TestParamInfo<Flaw>& info) { return std::string(info.param.name); });

TEST(CheckCommand, AValidFaxOfAnyLengthPasses) {
  ScratchDir dir;
  ASSERT_TRUE(writeFaxTiff(dir.file("long.tif"), 12000, TiffLayout{}));
  const CommandOutput check = runCommand({"check", "long.tif"}, dir.path());
  EXPECT_EQ(check.out, "long.tif: OK, Class F, 12000 pages\n");
}

TEST(CheckCommand, NamesThePageAndRowThatDoNotDecode) {
  ScratchDir dir;
  std::string text;
  for (int i = 0; i < 120; ++i) text += "line " + std::to_string(i) + " of a letter\n";
  dir.write("a.txt", text);
  ASSERT_EQ(runCommand({"a.txt", "-o", "a.tif"}, dir.path()).status, 0);
  ASSERT_TRUE(scrambleStrip(dir.file("a.tif"), 2));
  const CommandOutput check = runCommand({"check", "a.tif"}, dir.path());
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, ::testing::ContainsRegex("a.tif: page 2: row [0-9]+ cannot be decoded"));
  EXPECT_THAT(check.out, ::testing::Not(HasSubstr("page 1:")));
}

// One file that is no TIFF fails the run, each named once, and libtiff writes nothing itself.
TEST(CheckCommand, FilesThatAreNoTiffFailNamedOnce) {
  ScratchDir dir;
  ASSERT_TRUE(writeFaxTiff(dir.file("good.tif"), 1, TiffLayout{}));
  dir.write("text.tif", "plain text, not a TIFF\n");
  dir.write("empty.tif", "");
  const CommandOutput check =
      runCommand({"check", "good.tif", "text.tif", "empty.tif"}, dir.path());
  EXPECT_EQ(check.status, 1);
  EXPECT_THAT(check.out, HasSubstr("good.tif: OK, Class F, 1 page\n"));
  EXPECT_THAT(check.out, HasSubstr("empty.tif: Cannot read TIFF header\n"));
  EXPECT_THAT(check.out, HasSubstr("text.tif: not Class F, 1 problem\n"));
  EXPECT_THAT(check.out, ::testing::Not(HasSubstr("tif: text.tif")));
  EXPECT_EQ(check.err, "");
}

}  // namespace
}  // namespace pw::cli::testing
