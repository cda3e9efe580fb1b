// Our pages judged by the programs of the fax servers that send them, unpacked from Debian's
// packages by the faxservers.fetch fixture: HylaFAX's tiffcheck and type rules, mgetty's g32pbm,
// g3cat and faxspool rules, efax's fax script. Without the programs every test here skips.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "command_runner.h"
#include "fax_files.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

const fs::path kTools = PAGEWRIGHT_FAX_TOOLS;
const std::string kExamples = PAGEWRIGHT_EXAMPLES;
// Where "cmake --install" puts the command, as the examples name it.
const std::string kInstalledCommand = "/usr/local/bin/pagewright";

// About 70 lines fit a page at 10 pt, so this needs two pages at any paper size used here.
std::string twoPages() {
  std::string text;
  for (int i = 1; i <= 100; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

// Page `page` (from 0) of a bilevel TIFF as a raw PBM file, the form g32pbm writes.
std::string pbmOfTiffPage(const std::string& path, int page) {
  const std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(path.c_str(), "r"), TIFFClose);
  if (!tif || !TIFFSetDirectory(tif.get(), static_cast<tdir_t>(page))) return {};
  uint32_t width = 0, length = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &length);
  std::string pbm = "P4\n" + std::to_string(width) + " " + std::to_string(length) + "\n";
  std::string row(static_cast<size_t>(TIFFScanlineSize(tif.get())), '\0');
  for (uint32_t y = 0; y < length; ++y) {
    if (TIFFReadScanline(tif.get(), row.data(), y) < 0) return {};
    pbm += row;
  }
  return pbm;
}

class FaxServers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kTools / "unpacked")) {
      GTEST_SKIP() << "Debian's archive could not be reached for the fax servers' programs";
    }
    dir.write("letter.txt", twoPages());
  }

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

  std::vector<std::string> filesIn(const std::string& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path() / folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchDir dir;
};

// --- HylaFAX: tiffcheck decides whether the server sends a page as it is ----------------------

struct Paper {
  const char* name;
  std::vector<int> lengthsMm;  // what tiffcheck is asked to check against with -l
};
struct Resolution {
  const char* name;
  const char* linesPerInch;
};
struct Coding {
  const char* name;
  const char* tiffcheckFlag;
};

void PrintTo(const Paper& paper, std::ostream* out) {
  *out << paper.name;
}
void PrintTo(const Resolution& resolution, std::ostream* out) {
  *out << resolution.name;
}
void PrintTo(const Coding& coding, std::ostream* out) {
  *out << coding.name;
}

class Tiffcheck : public FaxServers,
                  public ::testing::WithParamInterface<std::tuple<Paper, Resolution, Coding>> {};

TEST_P(Tiffcheck, SendsEveryPageAsItIs) {
  const auto& [paper, resolution, coding] = GetParam();
  ASSERT_EQ(convert({"letter.txt", "-o", "letter.tif", "--paper", paper.name, "--resolution",
                     resolution.name, "--compression", coding.name}),
            0);
  ASSERT_EQ(tiffPageCount(dir.file("letter.tif")), 2);
  for (const int lengthMm : paper.lengthsMm) {
    const CommandOutput check =
        sh(tool("usr/lib/hylafax/bin/tiffcheck") + " " + coding.tiffcheckFlag + " -r " +
           resolution.linesPerInch + " -l " + std::to_string(lengthMm) + " letter.tif");
    EXPECT_EQ(check.out, "OK\n") << "tiffcheck -l " << lengthMm;
  }
}

// The lengths HylaFAX names the papers by, and those its queue manager checks them against
// (letter 280; legal, like B4, 364). pagewright's B4 is ISO B4, 353 mm.
std::string tiffcheckCaseName(
    const ::testing::TestParamInfo<std::tuple<Paper, Resolution, Coding>>& info) {
  std::string name = std::string(std::get<0>(info.param).name) + "_" +
                     std::get<1>(info.param).name + "_" + std::get<2>(info.param).name;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(
    Papers, Tiffcheck,
    ::testing::Combine(::testing::Values(Paper{"a4", {297}}, Paper{"letter", {279, 280}},
                                         Paper{"legal", {356, 364}}, Paper{"b4", {353, 364}}),
                       ::testing::Values(Resolution{"fine", "196"}, Resolution{"normal", "98"}),
                       ::testing::Values(Coding{"g3", "-1"}, Coding{"g3-2d", "-2"},
                                         Coding{"g4", "-3"})),
    tiffcheckCaseName);

// --- HylaFAX: sendfax converts text by examples/typerules --------------------------------------

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

struct Job {
  const char* pageSize;    // sendfax -s
  const char* resolution;  // sendfax's VRes: 98, or 196 with -m
  const char* lengthMm;    // what HylaFAX's queue manager asks tiffcheck for
};

void PrintTo(const Job& job, std::ostream* out) {
  *out << job.pageSize << " " << job.resolution;
}

class Sendfax : public FaxServers, public ::testing::WithParamInterface<Job> {};

// The rule expanded by HylaFAX's own library, as sendfax runs it, leaves at %o pages that the
// server's tiffcheck passes for the job's paper, resolution and 1-D coding.
TEST_P(Sendfax, RuleWritesWhereHylafaxAsksPagesItSendsAsTheyAre) {
  const Job& job = GetParam();
  const CommandOutput expanded =
      sh(std::string(PAGEWRIGHT_HYLAFAX_RULE) + " " + quoted(kExamples + "/typerules") +
         " letter.txt " + job.pageSize + " " + job.resolution + " sndfaxA1b2C3 " +
         tool("usr/share/hylafax/pagesizes"));
  ASSERT_EQ(expanded.status, 0) << expanded.err;
  std::string command = expanded.out;
  ASSERT_EQ(command.rfind(kInstalledCommand + " ", 0), 0u) << command;
  command.replace(0, kInstalledCommand.size(), quoted(PAGEWRIGHT_COMMAND));
  const CommandOutput converted = sh(command);
  ASSERT_EQ(converted.status, 0) << command << converted.err;
  EXPECT_THAT(filesIn("."), ElementsAre("letter.txt", "sndfaxA1b2C3"));
  const CommandOutput check = sh(tool("usr/lib/hylafax/bin/tiffcheck") + " -1 -r " +
                                 job.resolution + " -l " + job.lengthMm + " sndfaxA1b2C3");
  EXPECT_EQ(check.out, "OK\n") << command;
}

INSTANTIATE_TEST_SUITE_P(PageSizes, Sendfax,
                         ::testing::Values(Job{"a4", "196", "297"}, Job{"a4", "98", "297"},
                                           Job{"na-let", "196", "280"}, Job{"us-leg", "98", "364"},
                                           Job{"b4", "196", "364"}),
                         [](const auto& info) {
                           std::string name =
                               std::string(info.param.pageSize) + "_" + info.param.resolution;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// --- mgetty+sendfax and efax: raw G3 pages ----------------------------------------------------

TEST_F(FaxServers, RawG3PagesDecodeWithG32pbmToTheTiffsPixels) {
  for (const char* resolution : {"fine", "normal"}) {
    SCOPED_TRACE(resolution);
    ASSERT_EQ(convert({"letter.txt", "-o", "letter.tif", "--resolution", resolution}), 0);
    ASSERT_EQ(convert({"letter.txt", "--format", "g3", "-o", "letter", "--resolution", resolution}),
              0);
    for (int page = 1; page <= 2; ++page) {
      // -f: take the page as it is, whatever its name says about its resolution.
      const CommandOutput decoded =
          sh(tool("usr/bin/g32pbm") + " -f letter.00" + std::to_string(page));
      EXPECT_EQ(decoded.err, "");  // g32pbm names every invalid code here
      EXPECT_TRUE(decoded.out == pbmOfTiffPage(dir.file("letter.tif"), page - 1)) << page;
    }
    EXPECT_FALSE(fs::exists(dir.file("letter.003")));
  }
}

// faxspool's own lines that look a filter up and run it, taken from the unpacked faxspool, run
// our rules with the built command in place of the installed one; faxspool then passes every
// page through g3cat to put its header line on.
TEST_F(FaxServers, FaxspoolRunsTheRulesIntoThePagesItSpools) {
  const std::string runFilter =
      "sed \"s|" + kInstalledCommand + "|$PAGEWRIGHT|\" " + quoted(kExamples + "/faxspool.rules") +
      " >faxspool.rules\n"
      "FS_FILTER=faxspool.rules AWK=awk echo=echo format=ascii file=letter.txt target=spool/i-\n"
      "eval \"$(sed -n '/# get & use external filter/,/eval \"\\$filter\"/p' " +
      tool("usr/bin/faxspool") + "; echo fi)\"\n";
  for (const std::string normalResolution : {"", "-n"}) {
    SCOPED_TRACE(normalResolution);
    ASSERT_EQ(convert({"letter.txt", "-o", "letter.tif", "--resolution",
                       normalResolution.empty() ? "fine" : "normal"}),
              0);
    fs::remove_all(dir.path() / "spool");
    fs::create_directory(dir.path() / "spool");
    const CommandOutput spooled = sh("PAGEWRIGHT=" + quoted(PAGEWRIGHT_COMMAND) +
                                     " normal_res=" + normalResolution + "\n" + runFilter);
    ASSERT_EQ(spooled.status, 0) << spooled.err;
    ASSERT_THAT(filesIn("spool"), ElementsAre("i-.001", "i-.002")) << spooled.out;
    for (int page = 1; page <= 2; ++page) {
      const CommandOutput decoded =
          sh(tool("usr/bin/g3cat") + " spool/i-.00" + std::to_string(page) + " | " +
             tool("usr/bin/g32pbm") + " -f");
      EXPECT_EQ(decoded.err, "");
      EXPECT_TRUE(decoded.out == pbmOfTiffPage(dir.file("letter.tif"), page - 1)) << page;
    }
  }
}

// efax's "fax send" passes files named *.NNN to efax unconverted; efax reads them as efix does.
TEST_F(FaxServers, EfaxSendsRawG3AndTiffPagesAsTheyAre) {
  dir.write("efax", "#!/bin/sh\necho \"$@\" >efax.args\n");
  fs::permissions(dir.path() / "efax", fs::perms::owner_all);
  ASSERT_EQ(convert({"letter.txt", "--format", "g3", "-o", "letter"}), 0);
  ASSERT_EQ(convert({"letter.txt", "--format", "tiff", "-o", "memo.001", "--resolution", "normal"}),
            0);
  const std::string send =
      "HOME=$PWD sh " + tool("usr/bin/fax") + " EFAX=$PWD/efax DEV=null NICE= send 5551212 ";
  ASSERT_EQ(sh(send + "letter.0*").status, 0);
  EXPECT_THAT(sh("cat efax.args").out, HasSubstr("-t T5551212 letter.001 letter.002\n"));
  ASSERT_EQ(sh(send + "memo.001").status, 0);
  EXPECT_THAT(sh("cat efax.args").out, HasSubstr("-t T5551212 memo.001\n"));

  const CommandOutput raw = sh(tool("usr/bin/efix") + " -v ef -o pbm letter.002 >/dev/null");
  EXPECT_THAT(raw.err, HasSubstr("letter.002 + 0 : 1728x"));
  EXPECT_THAT(raw.err, Not(HasSubstr("rror")));
  const CommandOutput tiff = sh(tool("usr/bin/efix") + " -v ef -o pbm memo.001 >/dev/null");
  EXPECT_THAT(tiff.err, HasSubstr("page 2 : memo.001"));
  EXPECT_THAT(tiff.err, HasSubstr("1728x1145 @ 204x98 dpi"));
}

}  // namespace
}  // namespace pw::cli::testing
