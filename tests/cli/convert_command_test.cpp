// The converter run as a user runs it: each output format, fonts, job fields, encodings and
// standard input, usage errors, batches, and untrusted input: failures name the file and their real
// cause, and
// --confine keeps markup inside the directories given.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "command_runner.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// About 100 lines fit an A4 page at 10 pt, so this needs two pages.
std::string lines(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

class ConvertCommand : public ::testing::Test {
 protected:
  CommandOutput run(const std::vector<std::string>& args) { return runCommand(args, dir.path()); }
  // A clean run: status 0 and no warning.
  void convert(const std::vector<std::string>& args) {
    const CommandOutput result = run(args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
  }
  bool exists(const std::string& name) const { return fs::exists(dir.path() / name); }
  // The converter writes the same TIFF bytes for the same pixels.
  std::string bytes(const std::string& name) const { return readFile(dir.path() / name); }

  TempDir dir;
};

TEST_F(ConvertCommand, EachFormatHoldsEveryPagePrintedWhereAsked) {
  dir.write("long.txt", lines(150));
  // Beside its input; a face that is not installed is named with its stand-in.
  const CommandOutput tiff = run({"long.txt", "--font", "Liberaton Mono"});
  EXPECT_EQ(tiff.out, "long.tif: 2 pages\n");
  EXPECT_THAT(tiff.err, HasSubstr("warning: font Liberaton Mono is not installed; drawing with"));
  EXPECT_EQ(tiffPageCount(dir.file("long.tif")), 2);
  EXPECT_THAT(runProgram({"/usr/bin/tiffinfo", "long.tif"}, dir.path()).out,
              HasSubstr("Compression Scheme: CCITT Group 3\n"));
  // An extension names the format in either case; -q says nothing.
  const CommandOutput pdf = run({"long.txt", "-o", "long.PDF", "-q"});
  EXPECT_EQ(pdf.status, 0);
  EXPECT_EQ(pdf.out + pdf.err, "");
  EXPECT_EQ(runProgram({"/usr/bin/qpdf", "--show-npages", "long.PDF"}, dir.path()).out, "2\n");
  // --format names what the extension does not; raw G3 pages are named after the output as
  // given, as faxspool asks with -n.
  fs::create_directory(dir.path() / "spool");
  EXPECT_EQ(run({"long.txt", "--format", "G3", "-o", "spool/i-", "-n"}).out,
            "spool/i-.001 ... spool/i-.002: 2 pages\n");
  EXPECT_TRUE(exists("spool/i-.002"));
  EXPECT_FALSE(exists("spool/i-"));
}

// JSON values draw as the same values given with --field, which wins over the file.
TEST_F(ConvertCommand, JobFieldsReachThePageAndTheCommandLineWins) {
  dir.write("cover.txt", "To: <ToName>\n<Subject>\n%0\n");
  dir.write("job.json", R"({"ToName": "A much longer name", "Subject": "Order", "0": ["a", "b"]})");
  convert({"cover.txt", "-o", "none.tif", "--markup", "--font", "liberation mono"});
  convert({"cover.txt", "-o", "json.tif", "--markup", "--fields", "job.json", "--field",
           "ToName=Ann Lee"});
  convert({"cover.txt", "-o", "args.tif", "--markup", "--field", "ToName=Ann Lee", "--field",
           "Subject=Order", "--field", "0=a\nb"});
  EXPECT_TRUE(bytes("json.tif") == bytes("args.tif"));
  EXPECT_FALSE(bytes("none.tif") == bytes("args.tif"));

  const std::string examples = PAGEWRIGHT_EXAMPLES;
  convert({examples + "/cover.txt", "--markup", "--fields", examples + "/job.json", "-o", "x.tif"});
}

TEST_F(ConvertCommand, BadUsageIsStatusTwoAndNamesTheProblem) {
  dir.write("a.txt", "text\n");
  fs::create_directory(dir.path() / "x");
  dir.write("x/a.txt", "two\n");
  for (const auto& [name, json] : {std::pair{"syntax.json", "{\"ToName\": \"Ann\",\n}"},
                                   {"typo.json", R"({"ToName": "Ann", "ToNmae": "Lee"})"},
                                   {"object.json", R"({"ToName": {"first": "Ann"}})"},
                                   {"nested.json", R"({"0": ["ok", ["nested"]]})"},
                                   {"array.json", R"(["ToName"])"}}) {
    dir.write(name, json);
  }
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"a.txt", "--frobnicate"}, "--frobnicate"},
      {{"a.txt", "--paper", "a5"}, ""},
      {{"a.txt", "--charset", "klingon"}, ""},
      {{"a.txt", "--size", "0"}, ""},
      {{"a.txt", "-j", "0"}, ""},
      {{"a.txt", "--quiet", "--verbose"}, ""},
      {{"a.txt", "--margin-left", "150", "--margin-right", "60"}, "margins"},
      {{"a.txt", "--encoding", "no-such-encoding"}, "no-such-encoding"},
      {{"a.txt", "--field", "Nobody=x"}, "'Nobody'"},
      {{"a.txt", "--field", "11=x"}, ""},
      {{"a.txt", "--field", "ToName"}, ""},
      {{"a.txt", "--fields", "syntax.json"}, "syntax.json: parse error at line 2"},
      {{"a.txt", "--fields", "typo.json"}, "'ToNmae'"},
      {{"a.txt", "--fields", "object.json"}, "field 'ToName' is a"},
      {{"a.txt", "--fields", "nested.json"}, "field '0' holds"},
      {{"a.txt", "--fields", "array.json"}, "expected an object"},
      {{"a.txt", "--confine", "missing"}, ""},
      {{"a.txt", "-o", "a.pdf", "--format", "png"}, ""},
      {{"a.txt", "-o", "a.doc"}, ""},
      {{"a.txt", "-o", "-", "--format", "png"}, "standard output takes one file"},
      {{"a.txt", "a.txt", "-o", "-"}, "single input"},
      {{"-"}, "with -o naming the output"},
      {{"a.txt", "x/a.txt", "-o", "out"}, "would both write"},
      {{"a.txt", "--format", "g3", "--compression", "g4"}, "1-D"},
      {{"check", "absent.tif"}, "absent.tif"},
  };
  for (const auto& [args, named] : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const CommandOutput result = run(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr(named));
  }
  EXPECT_FALSE(exists("a.pdf"));
  EXPECT_FALSE(exists("a.tif"));
}

TEST_F(ConvertCommand, BatchConvertsTheGoodInputsAndNamesTheBadOne) {
  dir.write("a.txt", "first\n");
  dir.write("c.txt", lines(150));
  dir.write("d.txt", "fourth\n");
  const CommandOutput result =
      run({"a.txt", "missing.txt", "c.txt", "d.txt", "-o", "out", "-j", "3"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(tiffPageCount(dir.file("out/a.tif")), 1);
  EXPECT_EQ(tiffPageCount(dir.file("out/c.tif")), 2);
  EXPECT_EQ(tiffPageCount(dir.file("out/d.tif")), 1);
  EXPECT_THAT(result.out, HasSubstr("out/c.tif: 2 pages\n"));
  EXPECT_THAT(result.err, HasSubstr("\nconverted 3 of 4 files, 4 pages; failed: missing.txt\n"));
  EXPECT_THAT(result.err, ::testing::Not(HasSubstr("\r"))) << "no progress bar off a terminal";
}

// Six lines with characters beyond ASCII; in UTF-16 the quotation marks hold the byte 0x1C, a
// page end when read as bytes.
std::string utf16(bool bigEndian) {
  const std::u16string text =
      u"Gr\u00FC\u00DFe aus K\u00F6ln\n\u201CZitat\u201D \u2013 5 \u20AC\nzwei\ndrei\nvier\n"
      u"f\u00FCnf\n";
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char pair[] = {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
    bytes += bigEndian ? std::string{pair[0], pair[1]} : std::string{pair[1], pair[0]};
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
  convert({"reference.txt", "-o", "reference.tif", "--encoding", "cp1252"});
  // Each file, and the encoding that names what it holds.
  const std::tuple<const char*, std::string, const char*> cases[] = {
      {"utf8.txt", utf8, "utf-8"},        {"bom.txt", "\xEF\xBB\xBF" + utf8, "utf-8"},
      {"le.txt", utf16(false), "utf-16"}, {"be.txt", utf16(true), "utf-16"},
      {"cp1252.txt", cp1252, "cp1252"},
  };
  for (const auto& [name, text, encoding] : cases) {
    SCOPED_TRACE(name);
    dir.write(name, text);
    const CommandOutput detected = run({name, "-o", "detected.tif"});
    EXPECT_EQ(detected.out, "detected.tif: 1 page\n");
    EXPECT_EQ(detected.err, "");
    EXPECT_TRUE(bytes("detected.tif") == bytes("reference.tif"));
    convert({name, "-o", "named.tif", "--encoding", encoding});
    EXPECT_TRUE(bytes("named.tif") == bytes("reference.tif"));
  }
  // Standard input, told as UTF-8 by its first 64 KiB.
  const CommandOutput piped =
      CommandProcess(commandLine({"-", "-o", "piped.tif"}), dir.path(), dir.file("utf8.txt"))
          .wait();
  EXPECT_EQ(piped.out + piped.err, "piped.tif: 1 page\n");
  EXPECT_TRUE(bytes("piped.tif") == bytes("reference.tif"));
  // What the code page lacks is counted once for the file.
  dir.write("arrows.txt", utf8 + "\xE2\x86\x92 \xE2\x86\x92\n");
  EXPECT_THAT(run({"arrows.txt", "-o", "arrows.tif"}).err,
              HasSubstr("arrows.txt: 2 characters not in WINDOWS-1252 replaced by '?'"));
}

// --- untrusted input ---------------------------------------------------------------------

// Exit status 1, the file and the cause named, and no output; --confine keeps inserts inside the
// directories given.
TEST_F(ConvertCommand, FailuresNameTheFileAndTheRealCause) {
  fs::create_directory(dir.path() / "folder");
  fs::create_directory(dir.path() / "images");
  ASSERT_EQ(mkfifo(dir.file("images/pipe.tif").c_str(), 0600), 0);
  dir.write("images/broken.tif", "II*\0 not really");
  dir.write("pipe.txt", "@/pipe@/2\n");
  dir.write("broken.txt", "@/broken@/2\n");
  fs::create_directory(dir.path() / "job");
  dir.write("secret.txt", "secret\n");
  dir.write("insert.txt", "%3\n");
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--markup", "--confine", "job", "--field", "3=job/../secret.txt", "insert.txt"},
       "Cannot open job/../secret.txt: Permission denied"},
      {{"absent.txt"}, "error 28020: Cannot open absent.txt: No such file or directory\n"},
      {{"folder"}, "Cannot open folder: Is a directory"},
      {{"/dev/zero", "--max-input", "1M"}, "exceeds the limit of 1048576 bytes (--max-input)"},
      {{"pipe.txt", "--markup", "--image-dir", "images"},
       "Cannot open images/pipe.tif: Not a regular file"},
      {{"broken.txt", "--markup", "--image-dir", "images"},
       "images/broken.tif to bitmap: Unknown or damaged file format"},
  };
  for (auto [args, says] : cases) {
    SCOPED_TRACE(says);
    args.insert(args.end(), {"-o", "out.tif"});
    const CommandOutput result = run(args);
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr(says));
    EXPECT_EQ(result.out, "");
  }
  // One cause, naming the output.
  const CommandOutput unwritable = run({"pipe.txt", "-o", "no/such/dir/a.tif"});
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_EQ(
      unwritable.err,
      "error: pipe.txt: cannot write no/such/dir/a.tif: directory no/such/dir does not exist\n");
  EXPECT_FALSE(fs::exists(dir.path() / "out.tif"));
}

TEST_F(ConvertCommand, NamesFromDecodedTextFindFilesNamedInUtf8) {
  fs::create_directories(dir.path() / "images" / "Bilder-\xC3\xBC");
  dir.write("logo.txt", "logo\n");
  convert({"logo.txt", "-o", "images/Bilder-\xC3\xBC/logo.tif"});
  dir.write("Anh\xC3\xA4nge.txt", "Anlage: \xC3\xA4\xC3\xB6\xC3\xBC\n");
  dir.write("letter.txt", "Brief \xC3\xBC\n@/Bilder-\xC3\xBC/logo@/2\n%3\n");
  // Confined to where they are, given as a full path.
  convert({"letter.txt", "--markup", "--image-dir", "images", "--field", "3=Anh\xC3\xA4nge.txt",
           "--confine", dir.path().string(), "-o", "letter.tif"});
}

}  // namespace
}  // namespace pw::cli::testing
