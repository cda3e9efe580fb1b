// The converter run as a user runs it: outputs read back, fields reaching the page, usage errors,
// failed conversions and batches.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "command_runner.h"
#include "fax_files.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

// About 70 lines fit an A4 page at 10 pt, so this needs three pages.
std::string lines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

class ConvertCommand : public ::testing::Test {
 protected:
  CommandOutput run(const std::vector<std::string>& args) { return runCommand(args, dir.path()); }
  bool exists(const std::string& name) const { return fs::exists(dir.path() / name); }

  ScratchDir dir;
};

// --- one conversion per output format --------------------------------------------------------

TEST_F(ConvertCommand, EachFormatHoldsEveryPagePrinted) {
  dir.write("long.txt", lines(150));
  const CommandOutput result = run({"long.txt", "-o", "long.tif"});
  ASSERT_EQ(result.status, 0) << result.err;
  const int pages = tiffPageCount(dir.file("long.tif"));
  EXPECT_GE(pages, 2);
  EXPECT_EQ(result.out, "long.tif: " + std::to_string(pages) + " pages\n");
  EXPECT_EQ(tiffTag16(dir.file("long.tif"), TIFFTAG_COMPRESSION), COMPRESSION_CCITTFAX3);

  ASSERT_EQ(run({"long.txt", "-o", "long.pdf"}).status, 0);
  EXPECT_EQ(pdfPageCount(dir.file("long.pdf")), pages);
  ASSERT_EQ(run({"long.txt", "-o", "long.png"}).status, 0);
  EXPECT_TRUE(exists("long-001.png"));
  EXPECT_TRUE(exists("long-00" + std::to_string(pages) + ".png"));
  EXPECT_FALSE(exists("long-00" + std::to_string(pages + 1) + ".png"));
  EXPECT_FALSE(exists("long.png"));
}

TEST_F(ConvertCommand, RawG3PagesAreNamedAfterTheOutputOrTheInput) {
  dir.write("long.txt", lines(150));
  std::filesystem::create_directory(dir.path() / "spool");
  const CommandOutput result = run({"long.txt", "--format", "G3", "-o", "spool/i-0000-", "-n"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(exists("spool/i-0000-.001"));
  EXPECT_TRUE(exists("spool/i-0000-.002"));
  EXPECT_FALSE(exists("spool/i-0000-.003"));
  EXPECT_FALSE(exists("spool/i-0000-"));
  ASSERT_EQ(run({"long.txt", "--format", "g3"}).status, 0);
  EXPECT_TRUE(exists("long.002"));
}

TEST_F(ConvertCommand, FormatOptionOverridesAMissingExtension) {
  dir.write("a.txt", "text\n");
  ASSERT_EQ(run({"a.txt", "-o", "a.fax", "--format", "tiff"}).status, 0);
  EXPECT_EQ(tiffPageCount(dir.file("a.fax")), 1);
}

TEST_F(ConvertCommand, DeviceOptionsReachTheFile) {
  dir.write("a.txt", "text\n");
  ASSERT_EQ(run({"a.txt", "-o", "a.tif", "--compression", "g4", "--resolution", "normal", "--paper",
                 "letter"})
                .status,
            0);
  EXPECT_EQ(tiffTag16(dir.file("a.tif"), TIFFTAG_COMPRESSION), COMPRESSION_CCITTFAX4);
  EXPECT_EQ(runCommand({"check", "a.tif"}, dir.path()).status, 0);
}

TEST_F(ConvertCommand, DefaultOutputSitsBesideTheInput) {
  dir.write("sub/memo.txt", "text\n");
  ASSERT_EQ(run({"sub/memo.txt"}).status, 0);
  EXPECT_TRUE(exists("sub/memo.tif"));
}

// --- job fields -----------------------------------------------------------------------------

TEST_F(ConvertCommand, FieldFromTheCommandLineReachesThePage) {
  dir.write("cover.txt", "To: <ToName>\n");
  ASSERT_EQ(run({"cover.txt", "-o", "empty.tif", "--markup"}).status, 0);
  ASSERT_EQ(run({"cover.txt", "-o", "filled.tif", "--markup", "--field", "ToName=Ann Lee"}).status,
            0);
  EXPECT_GT(tiffBlackPixels(dir.file("filled.tif")), tiffBlackPixels(dir.file("empty.tif")));
}

TEST_F(ConvertCommand, JsonFieldsDrawTheSameAsCommandLineFields) {
  dir.write("cover.txt", "To: <ToName>\n<Subject>\n%0\n");
  dir.write("job.json", R"({"ToName": "Ann Lee", "Subject": "Order", "0": ["one", "two"]})");
  ASSERT_EQ(run({"cover.txt", "-o", "json.tif", "--markup", "--fields", "job.json"}).status, 0);
  ASSERT_EQ(run({"cover.txt", "-o", "args.tif", "--markup", "--field", "ToName=Ann Lee", "--field",
                 "Subject=Order", "--field", "0=one\ntwo"})
                .status,
            0);
  EXPECT_EQ(tiffBlackPixels(dir.file("json.tif")), tiffBlackPixels(dir.file("args.tif")));
}

TEST_F(ConvertCommand, CommandLineFieldWinsOverJson) {
  dir.write("cover.txt", "<ToName>\n");
  dir.write("job.json", R"({"ToName": "A much longer name from the file"})");
  ASSERT_EQ(
      run({"cover.txt", "-o", "a.tif", "--markup", "--fields", "job.json", "--field", "ToName=Al"})
          .status,
      0);
  ASSERT_EQ(run({"cover.txt", "-o", "b.tif", "--markup", "--field", "ToName=Al"}).status, 0);
  EXPECT_EQ(tiffBlackPixels(dir.file("a.tif")), tiffBlackPixels(dir.file("b.tif")));
}

TEST_F(ConvertCommand, ExampleCoverSheetRendersWithItsJob) {
  const std::string examples = PAGEWRIGHT_EXAMPLES;
  const CommandOutput result = run(
      {examples + "/cover.txt", "--markup", "--fields", examples + "/job.json", "-o", "cover.tif"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

// --- usage errors: exit status 2 and a message naming the problem ---------------------------

TEST_F(ConvertCommand, BadUsageIsStatusTwoAndNamesTheProblem) {
  dir.write("a.txt", "text\n");
  struct Case {
    std::vector<std::string> args;
    const char* named;  // "": only the status is checked
  };
  const Case cases[] = {
      {{"--frobnicate"}, "--frobnicate"},
      {{"--resolution", "superfine"}, ""},
      {{"--paper", "a5"}, ""},
      {{"--paper", "215x0"}, ""},
      {{"--charset", "klingon"}, ""},
      {{"--size", "0"}, ""},
      {{"-j", "0"}, ""},
      {{"--quiet", "--verbose"}, ""},
      {{"--margin-left", "150", "--margin-right", "60"}, "margins"},
      {{"--encoding", "no-such-encoding"}, "no-such-encoding"},
      {{"--field", "Nobody=x"}, "'Nobody'"},
      {{"--field", "11=x"}, ""},
      {{"--field", "ToName"}, ""},
      {{"-o", "a.pdf", "--format", "png"}, ""},
      {{"-o", "a.doc"}, ""},
      {{"-o", "-", "--format", "png"}, "standard output takes one file"},
      {{"a.txt", "-o", "-"}, "single input"},
      {{"--format", "g3", "--compression", "g4"}, "1-D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::vector<std::string> args = {"a.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandOutput result = run(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr(c.named));
  }
  EXPECT_FALSE(exists("a.pdf"));
  EXPECT_FALSE(exists("a.tif"));
}

TEST_F(ConvertCommand, BadJsonGivesTheParserPosition) {
  dir.write("a.txt", "text\n");
  dir.write("job.json", "{\"ToName\": \"Ann\",\n}");
  const CommandOutput result = run({"a.txt", "--fields", "job.json"});
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("job.json: parse error at line 2"));
}

TEST_F(ConvertCommand, UnknownJsonKeyIsNamed) {
  dir.write("a.txt", "text\n");
  dir.write("job.json", R"({"ToName": "Ann", "ToNmae": "Lee"})");
  const CommandOutput result = run({"a.txt", "--fields", "job.json"});
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("'ToNmae'"));
  EXPECT_FALSE(exists("a.tif"));
}

TEST_F(ConvertCommand, JsonValuesOfTheWrongShapeAreNamed) {
  dir.write("a.txt", "text\n");
  dir.write("object.json", R"({"ToName": {"first": "Ann"}})");
  dir.write("nested.json", R"({"0": ["ok", ["nested"]]})");
  dir.write("array.json", R"(["ToName"])");
  EXPECT_THAT(run({"a.txt", "--fields", "object.json"}).err, HasSubstr("field 'ToName' is a"));
  EXPECT_THAT(run({"a.txt", "--fields", "nested.json"}).err, HasSubstr("field '0' holds"));
  EXPECT_THAT(run({"a.txt", "--fields", "array.json"}).err, HasSubstr("expected an object"));
}

// --- failed conversions: exit status 1, the cause, and no output ----------------------------

TEST_F(ConvertCommand, MissingInputSaysWhyAndLeavesNoOutput) {
  const CommandOutput result = run({"absent.txt", "-o", "absent.tif"});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("error 28020: Cannot open absent.txt"));
  EXPECT_THAT(result.err, HasSubstr("No such file or directory"));
  EXPECT_EQ(result.out, "");
  EXPECT_FALSE(exists("absent.tif"));
}

TEST_F(ConvertCommand, UnwritableDestinationFailsWithoutOutput) {
  dir.write("a.txt", "text\n");
  const CommandOutput result = run({"a.txt", "-o", "no/such/dir/a.tif"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "error: a.txt: cannot write no/such/dir/a.tif: directory no/such/dir does "
            "not exist\n");
}

// --- batches --------------------------------------------------------------------------------

TEST_F(ConvertCommand, BatchConvertsTheGoodInputsAndNamesTheBadOne) {
  dir.write("a.txt", "first\n");
  dir.write("c.txt", lines(150));
  dir.write("d.txt", "fourth\n");
  const CommandOutput result =
      run({"a.txt", "missing.txt", "c.txt", "d.txt", "-o", "out", "-j", "3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(tiffPageCount(dir.file("out/a.tif")), 1);
  EXPECT_GE(tiffPageCount(dir.file("out/c.tif")), 2);
  EXPECT_EQ(tiffPageCount(dir.file("out/d.tif")), 1);
  EXPECT_FALSE(exists("out/missing.tif"));
  EXPECT_THAT(result.err, HasSubstr("converted 3 of 4 files"));
  EXPECT_THAT(result.err, HasSubstr("failed: missing.txt"));
  EXPECT_THAT(result.out, HasSubstr("out/c.tif: "));
  EXPECT_THAT(result.err, Not(HasSubstr("\r"))) << "no progress bar off a terminal";
}

TEST_F(ConvertCommand, BatchOfGoodInputsSucceeds) {
  for (int i = 0; i < 6; ++i) dir.write("in" + std::to_string(i) + ".txt", lines(40));
  const CommandOutput result = run({"in0.txt", "in1.txt", "in2.txt", "in3.txt", "in4.txt",
                                    "in5.txt", "-o", "pdfs/", "--format", "pdf", "-j", "4"});
  EXPECT_EQ(result.status, 0) << result.err;
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(pdfPageCount(dir.file("pdfs/in" + std::to_string(i) + ".pdf")), 1);
}

TEST_F(ConvertCommand, BatchInputsWithTheSameNameAreRejected) {
  dir.write("x/memo.txt", "one\n");
  dir.write("y/memo.txt", "two\n");
  const CommandOutput result = run({"x/memo.txt", "y/memo.txt", "-o", "out"});
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("would both write"));
}

// --- encoding and output levels -------------------------------------------------------------

// Six lines with characters beyond ASCII; in UTF-16 the quotation marks hold the byte 0x1C, a
// page end when read as bytes.
std::u16string sixLines() {
  return u"Gr\u00FC\u00DFe aus K\u00F6ln\n\u201CZitat\u201D \u2013 5 "
         u"\u20AC\nzwei\ndrei\nvier\nf\u00FCnf\n";
}

std::string utf16(const std::u16string& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

TEST_F(ConvertCommand, EveryEncodingIsReadRightWithoutOptions) {
  const std::string utf8 =
      "Gr\xC3\xBC\xC3\x9F"
      "e aus K\xC3\xB6ln\n\xE2\x80\x9CZitat\xE2\x80\x9D \xE2\x80\x93 5 \xE2\x82\xAC\n"
      "zwei\ndrei\nvier\nf\xC3\xBCnf\n";
  const std::string cp1252 =
      "Gr\xFC\xDF"
      "e aus K\xF6ln\n\x93Zitat\x94 \x96 5 \x80\nzwei\ndrei\nvier\nf\xFCnf\n";
  dir.write("reference.txt", cp1252);
  ASSERT_EQ(run({"reference.txt", "-o", "reference.tif", "--encoding", "cp1252"}).status, 0);
  const long reference = tiffBlackPixels(dir.file("reference.tif"));
  struct Case {
    const char* name;
    std::string bytes;
    const char* encoding;  // the same text read with this named
  };
  const Case cases[] = {
      {"utf8.txt", utf8, "utf-8"},
      {"bom.txt", "\xEF\xBB\xBF" + utf8, "utf-8"},
      {"le.txt", utf16(sixLines(), false), "utf-16"},
      {"be.txt", utf16(sixLines(), true), "utf-16"},
      {"cp1252.txt", cp1252, "cp1252"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write(c.name, c.bytes);
    const CommandOutput detected = run({c.name, "-o", "detected.tif"});
    ASSERT_EQ(detected.status, 0) << detected.err;
    EXPECT_EQ(detected.err, "");
    EXPECT_THAT(detected.out, HasSubstr(": 1 page\n"));
    EXPECT_EQ(tiffBlackPixels(dir.file("detected.tif")), reference);
    ASSERT_EQ(run({c.name, "-o", "named.tif", "--encoding", c.encoding}).status, 0);
    EXPECT_EQ(tiffBlackPixels(dir.file("named.tif")), reference);
  }
  // What the code page lacks is counted once for the file.
  dir.write("arrows.txt", utf8 + "\xE2\x86\x92 \xE2\x86\x92\n");
  EXPECT_THAT(run({"arrows.txt", "-o", "arrows.tif"}).err,
              HasSubstr("arrows.txt: 2 characters not in WINDOWS-1252 replaced by '?'"));
}

TEST_F(ConvertCommand, StandardInputAndALongParagraphLoseNothing) {
  // One line of 10,003 characters: beyond the module's line buffer, it takes two pages.
  std::string paragraph;
  for (int i = 0; i < 2000; ++i) paragraph += "word ";
  const std::string input = dir.write("paragraph.txt", paragraph + "END\n");
  const CommandOutput piped =
      CommandProcess(commandLine({"-", "-o", "piped.tif"}), dir.path(), {}, input).wait();
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, "piped.tif: 2 pages\n");
  EXPECT_EQ(piped.err, "") << "no line overflows";
  ASSERT_EQ(run({"paragraph.txt", "-o", "file.tif"}).status, 0);
  EXPECT_EQ(tiffBlackPixels(dir.file("piped.tif")), tiffBlackPixels(dir.file("file.tif")));
  EXPECT_EQ(run({"-"}).status, 2) << "standard input needs an output name";
}

TEST_F(ConvertCommand, AFontThatIsNotInstalledIsNamedWithItsStandIn) {
  dir.write("a.txt", "text\n");
  const CommandOutput result = run({"a.txt", "--font", "Liberaton Mono", "-o", "a.tif"});
  EXPECT_EQ(result.status, 0);
  EXPECT_THAT(result.err, HasSubstr("warning: font Liberaton Mono is not installed; drawing with"));
  EXPECT_EQ(run({"a.txt", "--font", "liberation mono", "-o", "a.tif"}).err, "");
}

TEST_F(ConvertCommand, QuietPrintsNothingOnSuccess) {
  dir.write("a.txt", "text\n");
  const CommandOutput result = run({"a.txt", "-q"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
}

TEST_F(ConvertCommand, VersionAndHelp) {
  const CommandOutput version = run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.substr(0, version.out.find('\n')), "pagewright 0.1.0");
  const CommandOutput help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_THAT(help.out, HasSubstr("--compression"));
  EXPECT_THAT(help.out, HasSubstr("=fine"));
}

}  // namespace
}  // namespace pw::cli::testing
