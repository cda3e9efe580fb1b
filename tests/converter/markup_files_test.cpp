// Files that markup reads. Image references: where the bitmap lands, what happens to the pen, the
// page and the text around the reference, and the reports when the image cannot be had or drawn.
// Confinement of what markup may read (images and "%3" files), and the named limits on what is
// read. The images are real TIFF files read by the platform's image library.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "common/conversion_fixture.h"
#include "converter/read_confinement.h"
#include "converter/tiff_test_files.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"
#include "support/line_list.h"

namespace pw::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// The 40 x 20 logo drawn at y; lines are 20 apart from 77, left is 101, bottom 2214.
std::string logo(int y) {
  return "setDIBitsToDevice 0," + std::to_string(y) + " 40x20 src 0,0 scans 0+20 bpp=1 use=0";
}

class ImagePlacementTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    params.imageDirectory = imageDir.c_str();
    TiffFile file{40, 20};
    file.compression = COMPRESSION_CCITTFAX4;
    file.rows.assign(20, std::vector<uint8_t>(5, 0x81));
    ASSERT_TRUE(writeTiff(dir.file("logo.tif"), file));
  }

  std::string imageDir = dir.path().string();
};

void noTopMargin(RenderParams& p) {
  p.topMarginMm = 0, p.pageHeightMm = 264;  // bottom 1980: 99 lines a page
}

TEST_F(ImagePlacementTest, PositionPenAndSkippedText) {
  const std::string next = "\n101,77 Next";
  check({
      // Image at x 0 and the pen's y; the LF belongs to the skipped line, so no further advance.
      {"@/logo@/4\r\nNext", logo(77) + "\n101,157 Next"},
      {"a\n@/logo@/0003\nb\n@/logo@/\nc",
       "101,77 a\n" + logo(97) + "\n101,157 b\n" + logo(177) + "\n101,177 c"},
      {"@/logo@/ 3 lines\nNext", logo(77) + next},
      // The rest of the line is skipped uninterpreted, and pending text with it.
      {"lost @/logo@/1 @/logo@/5 #LO \f\rhidden <Subject>\nNext", logo(77) + "\n101,97 Next"},
      // Text already flushed by markup stays, and the next line starts where the pen stood.
      {"kept#BFlost@/logo@/1\nNext", "101,77 kept\n" + logo(77) + "\n145,97 Next"},
      // Counts past the page are clamped, never wrapped (2^32 + 1, a run beyond the buffer).
      {"a\n@/logo@/4294967297\nNext", "101,77 a\n" + logo(77) + next, 3},
      {"a\n@/logo@/" + std::string(5000, '9') + "\nNext", "101,77 a\n" + logo(77) + next, 3},
      {"#LO@/logo@/5\nNext", logo(77) + "\n101,2214 Next"},
      {"a\n@/logo@/2", "101,77 a\n" + logo(97)},
      {"@/logo\nNext", "101,77 @logo\n101,97 Next"},
      // The "#T" text is discarded, and with it its position: the image started the page.
      {"#T20|abc|@/logo@/2\nNext", logo(77) + "\n101,117 Next"},
      // Images are not text.
      {"@/logo@/3\n@/logo@/1\n", logo(77) + "\n" + logo(137), 0, msg::kFileContainsNoText},
      // An image that exactly fills the rest of the page stays on it; one dot more ends the page.
      {"a\n@/logo@/97\nb", "101,0 a\n" + logo(20) + "\n101,1960 b", 1, 0, noTopMargin},
      {"a\n@/logo@/98\nb", "101,0 a\n" + logo(0) + "\n101,1960 b", 2, 0, noTopMargin},
  });
  // A reference whose opening had to be drawn to make room is text.
  services.keepAllText = true;
  std::string text = "@/";
  for (int i = 0; i < 1500; ++i) text += "x ";
  reset();
  ASSERT_EQ(convert(text + "@/logo@/1\nEnd"), 1);
  EXPECT_EQ(surface.count("setDIBitsToDevice"), 1);
  EXPECT_TRUE(sink.events.empty());
}

TEST_F(ImagePlacementTest, PathComesFromTheImageDirectory) {
  Locator names;
  names.everyName = dir.file("logo.tif");
  services.names = &names;
  ASSERT_EQ(convert("@/logo@/\n@/scan.tiff@/\n@/dot.@/\n@/sub/x@/\n@/@/\nx"), 1);
  params.imageDirectory = nullptr;
  ASSERT_EQ(convert("@/logo@/"), 1);
  EXPECT_EQ(surface.count("setDIBitsToDevice"), 6);
  const std::string d = imageDir + "/";
  EXPECT_THAT(names.names, ElementsAre(d + "logo.tif", d + "scan.tiff", d + "dot.", d + "sub/x.tif",
                                       ".tif", "logo.tif"));
}

// A failure with a code ends the conversion; with code 0 it is reported and the conversion goes
// on: a file not found takes no lines, a failed draw still takes its own.
TEST_F(ImagePlacementTest, FailuresAreReportedAndThoseWithACodeEndTheConversion) {
  dir.write("letter.tif", "This is a letter, not an image.\n");
  Locator names;
  names.lostError = 0;
  services.names = &names;
  const struct {
    const char* text;
    uint32_t code, event;
    std::string drawn, named;
  } cases[] = {
      {"kept\nlost @/nosuch@/3\nnever", kErrorFileNotFound, msg::kCannotOpen, "101,77 kept",
       imageDir + "/nosuch.tif"},
      {"@/letter@/2\nnever", kErrorBadFormat, msg::kCannotConvertTiff, "",
       imageDir + "/letter.tif"},
      {"@/logo@/3\nnever", kErrorInvalidParameter, msg::kSetDIBitsFailed, logo(77), ""},
      {"a\n@/lost@/3\nb", 0, msg::kCannotOpen, "101,77 a\n101,97 b", imageDir + "/lost.tif"},
      {"@/logo@/3\nNext", 0, msg::kSetDIBitsFailed, logo(77) + "\n101,137 Next", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    reset();
    surface.failSetDIBits = true;
    surface.setDIBitsError = c.code;
    ASSERT_EQ(convert(c.text), c.code ? 0 : 1);
    EXPECT_EQ(lastError(), c.code);
    EXPECT_EQ(surface.drawing(), c.drawn);
    EXPECT_THAT(eventIds(), ElementsAre(c.event));
    EXPECT_EQ(sink.events[0].inserts.front(), c.named.empty() ? errorText(c.code) : c.named);
    EXPECT_EQ(sink.events[0].inserts.back(), errorText(c.code));
  }
}

TEST_F(ImagePlacementTest, ReadErrorAmongTheDigitsAbandonsTheReferenceButNotWhileSkipping) {
  MemoryFiles files;
  files.endError = kErrorReadFault;
  services.files = &files;
  files.texts = {{"digits", "a\n@/logo@/12"}, {"skipping", "@/logo@/2 rest"}};
  for (const char* name : {"digits", "skipping"}) {
    reset();
    ASSERT_EQ(convertPath(name), 0);
    EXPECT_EQ(lastError(), kErrorReadFault);
    EXPECT_EQ(surface.count("setDIBitsToDevice"), name[0] == 's' ? 1 : 0);
    EXPECT_THAT(eventIds(), ElementsAre(msg::kErrorReading));
  }
}

class ConfinementTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    fs::create_directories(allowed + "/sub");
    TiffFile logo{16, 4};
    logo.rows.assign(4, std::vector<uint8_t>(2, 0xF0));
    for (const std::string& d : {allowed, outside, allowed + "2"}) {
      fs::create_directories(d);
      ASSERT_TRUE(writeTiff(d + "/logo.tif", logo));
    }
    dir.write("allowed/insert.txt", "inside one\ninside two\n");
    dir.write("outside/secret.txt", "secret\n");
    fs::create_symlink(allowed + "/logo.tif", allowed + "/sub/alias.tif");
    fs::create_symlink(outside + "/logo.tif", allowed + "/link.tif");
    fs::create_directory_symlink(outside, allowed + "/door");
    params.imageDirectory = allowed.c_str();
    const char* const directories[] = {allowed.c_str()};
    ASSERT_EQ(pwSetReadableDirectories(directories, 1), 1);
  }
  void TearDown() override {
    (void)pwSetReadableDirectories(nullptr, 0);
    ConversionTest::TearDown();
  }

  // Converts text, which names a file (in its image reference or its "%3" file) that cannot be
  // read: "Cannot open" naming it with the cause, and nothing of it drawn.
  void expectFailure(const std::string& text, const std::string& named,
                     uint32_t code = kErrorAccessDenied, const std::string& insert = "") {
    SCOPED_TRACE(text + " " + insert);
    reset();
    FieldTable fields;
    if (!insert.empty()) fields.set(3, insert);
    EXPECT_EQ(convert(text, fields.get()), 0);
    EXPECT_EQ(lastError(), code);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
    EXPECT_THAT(sink.events[0].inserts, ElementsAre(named, errorText(code)));
    EXPECT_EQ(surface.count("setDIBitsToDevice"), 0);
    EXPECT_EQ(surface.drawing().find("secret"), std::string::npos);
  }

  std::string allowed = dir.file("allowed"), outside = dir.file("outside");
};

TEST_F(ConfinementTest, FilesInsideTheAllowedDirectoriesAreRead) {
  FieldTable fields;
  fields.set(3, allowed + "/insert.txt");
  // A ".." that stays inside, and a link that points inside, are fine.
  ASSERT_EQ(convert("@/logo@/1\n%3\n@/sub/../logo@/1\n@/sub/alias@/1", fields.get()), 1);
  EXPECT_EQ(surface.count("setDIBitsToDevice"), 3);
  EXPECT_THAT(surface.texts(), ElementsAre("inside one", "inside two"));
}

TEST_F(ConfinementTest, EscapesAreRefusedAndMissingFilesOutsideTellNothing) {
  const std::string a = allowed + "/";
  const std::string secret = outside + "/secret.txt";
  // By "..", by a file or directory link, or by a name that shares the directory's prefix.
  expectFailure("@/../outside/logo@/1", a + "../outside/logo.tif");
  expectFailure("@/link@/1", a + "link.tif");
  expectFailure("@/door/logo@/1", a + "door/logo.tif");
  expectFailure("@/../allowed2/logo@/1", a + "../allowed2/logo.tif");
  expectFailure("a %3 b", secret, kErrorAccessDenied, secret);
  expectFailure("%3", a + "../outside/secret.txt", kErrorAccessDenied, a + "../outside/secret.txt");
  // Relative to the working directory, which is no allowed directory.
  expectFailure("%3", "secret.txt", kErrorAccessDenied, "secret.txt");
  // Inside, a missing file is simply not found; outside, even absence is "access denied".
  expectFailure("@/absent@/1", a + "absent.tif", kErrorFileNotFound);
  expectFailure("@/none/absent@/1", a + "none/absent.tif", kErrorFileNotFound);
  expectFailure("@/../outside/absent@/1", a + "../outside/absent.tif");
  expectFailure("%3", "/no/such/dir/x.txt", kErrorAccessDenied, "/no/such/dir/x.txt");
  // Markup cannot write a rooted image name ("@//" closes the reference at once), but the image
  // directory can lie elsewhere.
  params.imageDirectory = outside.c_str();
  expectFailure("@/logo@/1", outside + "/logo.tif");
}

TEST_F(ConfinementTest, FilesBeyondTheLimitsFailInsteadOfBeingRead) {
  const std::string big = dir.write("allowed/big.txt", "x");
  fs::resize_file(big, kMaxInsertFileBytes + 1);
  expectFailure("%3", big, kErrorFileTooLarge, big);
  fs::resize_file(big, kMaxInsertFileBytes);
  LineList list;
  EXPECT_EQ(list.load(big.c_str()), 1) << "exactly at the limit the file is read";
  // Nobody writes to the FIFO: a blocking open would wait for ever.
  ASSERT_EQ(mkfifo((allowed + "/pipe.tif").c_str(), 0600), 0);
  expectFailure("@/pipe@/1", allowed + "/pipe.tif", kErrorBadFileType);
}

TEST_F(ConfinementTest, TheSettingIsThePerThreadOneAndBadListsKeepIt) {
  const std::string file = allowed + "/insert.txt", missing = dir.file("missing");
  for (const auto& [directories, code] :
       {std::pair{std::vector<const char*>{allowed.c_str(), nullptr}, kErrorInvalidParameter},
        {{""}, kErrorInvalidParameter},
        {{missing.c_str()}, kErrorFileNotFound},
        {{file.c_str()}, kErrorDirectory}}) {
    EXPECT_EQ(
        pwSetReadableDirectories(directories.data(), static_cast<uint32_t>(directories.size())), 0);
    EXPECT_EQ(pwGetLastError(), code);
  }
  expectFailure("@/../outside/logo@/1", allowed + "/../outside/logo.tif");
  // The setting belongs to the calling thread only.
  const std::string secret = outside + "/secret.txt";
  std::string readable;
  std::thread other([&] { EXPECT_TRUE(confineForReading(secret.c_str(), &readable)); });
  other.join();
  EXPECT_EQ(readable, secret);
  EXPECT_FALSE(confineForReading(secret.c_str(), &readable));
  ASSERT_EQ(pwSetReadableDirectories(nullptr, 0), 1);
  EXPECT_TRUE(confineForReading(secret.c_str(), &readable));
}

}  // namespace
}  // namespace pw::testing
