// Our pages judged by the programs of the fax servers that send them, unpacked from Debian's
// packages by the faxservers.fetch fixture: HylaFAX's tiffcheck and type rules, mgetty's g32pbm,
// g3cat and faxspool rules, efax's fax script. Without the programs every test here skips.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "command_runner.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

const fs::path kTools = PAGEWRIGHT_FAX_TOOLS;
const std::string kExamples = PAGEWRIGHT_EXAMPLES;
// Where "cmake --install" puts the command, as the examples name it.
const std::string kInstalledCommand = "/usr/local/bin/pagewright";

class FaxServers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kTools / "unpacked")) {
      GTEST_SKIP() << "Debian's archive could not be reached for the fax servers' programs";
    }
    // Two pages at any paper size used here.
    std::string text;
    for (int i = 1; i <= 100; ++i) text += "line " + std::to_string(i) + "\n";
    dir.write("letter.txt", text);
  }

  // The paths quoted here hold no quotation mark.
  static std::string quoted(const std::string& text) { return "'" + text + "'"; }
  static std::string tool(const std::string& path) { return quoted((kTools / path).string()); }

  // Runs a shell script in the scratch directory; the unpacked programs find their libraries.
  CommandOutput sh(const std::string& script) const {
    const std::string libraries = quoted((kTools / "usr/lib/hylafax").string());
    return runProgram(
        {"/bin/sh", "-c", "LD_LIBRARY_PATH=" + libraries + "; export LD_LIBRARY_PATH\n" + script},
        dir.path());
  }

  int convert(const std::vector<std::string>& args) const {
    const CommandOutput result = runCommand(args, dir.path());
    EXPECT_EQ(result.err, "");
    return result.status;
  }

  TempDir dir;
};

// --- HylaFAX: its type rules hand text to pagewright, tiffcheck passes the pages as they are -----

// A paper as examples/typerules passes it (HylaFAX's name, or %Wx%L from its page-size database)
// and the lengths HylaFAX names it by and its queue manager checks it against (letter 280; legal,
// like B4, 364). pagewright's B4 is ISO B4, 353 mm.
struct Paper {
  const char* paper;
  std::vector<int> lengthsMm;
};

// Paper, resolution (%V) and coding (%f; 3 is G4) in HylaFAX's own values.
class Tiffcheck : public FaxServers,
                  public ::testing::WithParamInterface<std::tuple<Paper, int, int>> {};

TEST_P(Tiffcheck, SendsEveryPageAsItIs) {
  const auto [paper, linesPerInch, coding] = GetParam();
  const std::string resolution = std::to_string(linesPerInch);
  // The arguments of the rule in examples/typerules; %o names the output without an extension.
  ASSERT_EQ(convert({"--format", "tiff", "-q", "--resolution", resolution, "--compression",
                     coding == 3 ? "g4" : std::to_string(coding), "--paper", paper.paper, "-o",
                     "sndfaxA1b2C3", "letter.txt"}),
            0);
  EXPECT_EQ(sh("ls").out, "letter.txt\nsndfaxA1b2C3\n");
  ASSERT_EQ(tiffPageCount(dir.file("sndfaxA1b2C3")), 2);
  for (const int lengthMm : paper.lengthsMm) {
    const CommandOutput check =
        sh(tool("usr/lib/hylafax/bin/tiffcheck") + " -" + std::to_string(coding) + " -r " +
           resolution + " -l " + std::to_string(lengthMm) + " sndfaxA1b2C3");
    EXPECT_EQ(check.out, "OK\n") << paper.paper << ", tiffcheck -l " << lengthMm;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Papers, Tiffcheck,
    ::testing::Combine(::testing::Values(Paper{"a4", {297}}, Paper{"letter", {279, 280}},
                                         Paper{"legal", {356, 364}}, Paper{"b4", {353, 364}},
                                         Paper{"210x297", {297}}, Paper{"215.9x279.4", {280}},
                                         Paper{"215.9x355.6", {364}}, Paper{"255x364", {364}}),
                       ::testing::Values(196, 98), ::testing::Values(1, 2, 3)),
    [](const auto& info) {
      std::string name = std::get<0>(info.param).paper;
      std::replace(name.begin(), name.end(), '.', '_');
      return name + "_" + std::to_string(std::get<1>(info.param)) + "lpi_f" +
             std::to_string(std::get<2>(info.param));
    });

TEST_F(FaxServers, TyperulesGiveTextToPagewrightAndPassFaxDocumentsOn) {
  ASSERT_EQ(convert({"letter.txt", "-o", "letter.tif"}), 0);
  dir.write("letter.pdf", "%PDF-1.4\n");
  const std::string typetest =
      tool("usr/bin/typetest") + " -f " + quoted(kExamples + "/typerules") + " ";
  // typetest reports the rules it tried, the one that matched last.
  const CommandOutput text = sh(typetest + "letter.txt");
  EXPECT_THAT(text.out, HasSubstr("success (result tiff, rule \"" + kInstalledCommand + " "));
  EXPECT_EQ(text.err, "");
  EXPECT_THAT(sh(typetest + "letter.tif").out, HasSubstr("success (result tiff, rule \"\")"));
  EXPECT_THAT(sh(typetest + "letter.pdf").out, HasSubstr("success (result pdf, rule \"\")"));
}

// --- mgetty+sendfax and efax: raw G3 pages ----------------------------------------------------

// faxspool's own lines that look a filter up and run it, taken from the unpacked faxspool, run
// our rules with the built command in place of the installed one. Every page decodes with g32pbm
// to the pixels of our TIFF, as it is and through the g3cat that puts faxspool's header line on.
TEST_F(FaxServers, FaxspoolRunsTheRulesIntoPagesThatDecodeToTheTiffsPixels) {
  const std::string runFilter =
      "sed \"s|" + kInstalledCommand + "|$PAGEWRIGHT|\" " + quoted(kExamples + "/faxspool.rules") +
      " >faxspool.rules\n"
      "FS_FILTER=faxspool.rules AWK=awk echo=echo format=ascii file=letter.txt\n"
      "eval \"$(sed -n '/# get & use external filter/,/eval \"\\$filter\"/p' " +
      tool("usr/bin/faxspool") + "; echo fi)\"\n";
  for (const std::string resolution : {"fine", "normal"}) {
    SCOPED_TRACE(resolution);
    ASSERT_EQ(convert({"letter.txt", "-o", "letter.tif", "--resolution", resolution}), 0);
    const CommandOutput spooled =
        sh("mkdir " + resolution + "\nPAGEWRIGHT=" + quoted(PAGEWRIGHT_COMMAND) + " target=" +
           resolution + "/i- normal_res=" + (resolution == "normal" ? "-n\n" : "\n") + runFilter);
    ASSERT_EQ(spooled.status, 0) << spooled.err;
    ASSERT_EQ(sh("ls " + resolution).out, "i-.001\ni-.002\n") << spooled.out;
    for (int page = 1; page <= 2; ++page) {
      const std::string file = resolution + "/i-.00" + std::to_string(page);
      const std::string pbm = tiffPagePbm(dir.file("letter.tif"), page - 1);
      // -f: take the page as it is, whatever its name says about its resolution.
      for (const std::string& decode :
           {tool("usr/bin/g32pbm") + " -f " + file,
            tool("usr/bin/g3cat") + " " + file + " | " + tool("usr/bin/g32pbm") + " -f"}) {
        const CommandOutput decoded = sh(decode);
        EXPECT_EQ(decoded.err, "");  // g32pbm names every invalid code here
        EXPECT_TRUE(decoded.out == pbm) << decode;
      }
    }
  }
}

// efax's "fax send" passes files named *.NNN to efax unconverted; efax reads them as efix does,
// raw G3 pages and every page of a TIFF file.
TEST_F(FaxServers, EfaxReadsRawG3AndTiffPagesAsTheyAre) {
  ASSERT_EQ(convert({"letter.txt", "--format", "g3", "-o", "letter"}), 0);
  ASSERT_EQ(convert({"letter.txt", "--format", "tiff", "-o", "memo.001", "-n"}), 0);
  const std::string efix = tool("usr/bin/efix") + " -v ef -o pbm ";
  const CommandOutput raw = sh(efix + "letter.002 >/dev/null");
  EXPECT_THAT(raw.err, HasSubstr("letter.002 + 0 : 1728x"));
  EXPECT_THAT(raw.err, ::testing::Not(HasSubstr("rror")));
  const CommandOutput tiff = sh(efix + "memo.001 >/dev/null");
  EXPECT_THAT(tiff.err, HasSubstr("page 2 : memo.001"));
  EXPECT_THAT(tiff.err, HasSubstr("1728x1145 @ 204x98 dpi"));
}

}  // namespace
}  // namespace pw::cli::testing
