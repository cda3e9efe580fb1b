// Confinement of what markup may read, and the named limits on what is read. Markup is on; the
// images are real TIFF files read by the platform's image library.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

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
using ::testing::HasSubstr;
using ::testing::Not;

bool writeSmallTiff(const std::string& path) {
  TiffFile file;
  file.width = 16;
  file.height = 4;
  file.rows.assign(4, std::vector<uint8_t>(2, 0xF0));
  return writeTiff(path, file);
}

class ConfinementTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    fs::create_directories(allowed);
    fs::create_directories(outside);
    ASSERT_TRUE(writeSmallTiff(allowed + "/logo.tif"));
    ASSERT_TRUE(writeSmallTiff(outside + "/other.tif"));
    dir.write("allowed/insert.txt", "inside one\ninside two\n");
    dir.write("outside/secret.txt", "secret\n");
    params.imageDirectory = allowed.c_str();
    const char* const directories[] = {allowed.c_str()};
    ASSERT_EQ(pwSetReadableDirectories(directories, 1), 1);
  }
  void TearDown() override {
    (void)pwSetReadableDirectories(nullptr, 0);
    ConversionTest::TearDown();
  }

  // Converts text and expects it to fail on a refused file: "Cannot open" naming it with
  // "access denied" as the cause, and nothing of the refused file drawn.
  void expectRefused(std::string_view text, const std::string& named,
                     const JobFields* jobFields = nullptr) {
    SCOPED_TRACE(std::string(text));
    surface = RecordingSurface();
    sink.events.clear();
    EXPECT_EQ(convert(text, jobFields), 0);
    EXPECT_EQ(lastError(), kErrorAccessDenied);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
    EXPECT_THAT(sink.events[0].inserts, ElementsAre(named, errorText(kErrorAccessDenied)));
    EXPECT_EQ(surface.count("setDIBitsToDevice"), 0);
    for (const std::string& drawn : surface.texts()) EXPECT_THAT(drawn, Not(HasSubstr("secret")));
  }

  std::string allowed = dir.file("allowed");
  std::string outside = dir.file("outside");
  FieldTable fields;
};

TEST_F(ConfinementTest, FilesInsideTheAllowedDirectoriesAreRead) {
  fields.set(3, allowed + "/insert.txt");
  ASSERT_EQ(convert("@/logo@/1\n%3", fields.get()), 1);
  EXPECT_EQ(surface.count("setDIBitsToDevice"), 1);
  EXPECT_THAT(surface.texts(), ElementsAre("inside one", "inside two"));
  // A ".." that stays inside, and a link that points inside, are fine.
  fs::create_directories(allowed + "/sub");
  fs::create_symlink(allowed + "/logo.tif", allowed + "/sub/alias.tif");
  surface = RecordingSurface();
  ASSERT_EQ(convert("@/sub/../logo@/1\n@/sub/alias@/1"), 1);
  EXPECT_EQ(surface.count("setDIBitsToDevice"), 2);
}

TEST_F(ConfinementTest, EscapesByRootedNameDotDotOrLinkAreRefused) {
  // Markup cannot write a rooted image name ("@//" closes the reference at once), but the image
  // directory can lie elsewhere.
  params.imageDirectory = outside.c_str();
  expectRefused("@/other@/1", outside + "/other.tif");
  params.imageDirectory = allowed.c_str();
  expectRefused("@/../outside/other@/1", allowed + "/../outside/other.tif");
  fs::create_symlink(outside + "/other.tif", allowed + "/link.tif");
  expectRefused("@/link@/1", allowed + "/link.tif");
  // A directory link escapes just as well as a file link.
  fs::create_directory_symlink(outside, allowed + "/door");
  expectRefused("@/door/other@/1", allowed + "/door/other.tif");
}

TEST_F(ConfinementTest, FileInsertOutsideIsRefused) {
  fields.set(3, outside + "/secret.txt");
  expectRefused("before %3 after", outside + "/secret.txt", fields.get());
  fields.set(3, allowed + "/../outside/secret.txt");
  expectRefused("%3", allowed + "/../outside/secret.txt", fields.get());
  // Relative to the working directory, which is no allowed directory.
  fields.set(3, "secret.txt");
  expectRefused("%3", "secret.txt", fields.get());
}

TEST_F(ConfinementTest, MissingFilesTellNothingAboutTheWorldOutside) {
  // Inside, a missing file is simply not found; outside, even absence is "access denied".
  EXPECT_EQ(convert("@/absent@/1"), 0);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  expectRefused("@/../outside/absent@/1", allowed + "/../outside/absent.tif");
  expectRefused("@/../no/such/dir/x@/1", allowed + "/../no/such/dir/x.tif");
  FieldTable rooted;
  rooted.set(3, "/no/such/dir/x.txt");
  expectRefused("%3", "/no/such/dir/x.txt", rooted.get());
}

TEST_F(ConfinementTest, ANameSharingTheDirectorysPrefixIsOutside) {
  fs::create_directories(allowed + "2");
  ASSERT_TRUE(writeSmallTiff(allowed + "2/logo.tif"));
  expectRefused("@/../allowed2/logo@/1", allowed + "/../allowed2/logo.tif");
}

TEST_F(ConfinementTest, TheSettingBelongsToTheCallingThreadOnly) {
  const std::string secret = outside + "/secret.txt";
  std::string readable;
  std::thread other([&] { EXPECT_TRUE(confineForReading(secret.c_str(), &readable)); });
  other.join();
  EXPECT_EQ(readable, secret);
  EXPECT_FALSE(confineForReading(secret.c_str(), &readable));
  ASSERT_EQ(pwSetReadableDirectories(nullptr, 0), 1);
  EXPECT_TRUE(confineForReading(secret.c_str(), &readable));
}

TEST_F(ConfinementTest, BadDirectoryListsFailAndKeepTheEarlierSetting) {
  const std::string file = allowed + "/insert.txt";
  const std::string missing = dir.file("missing");
  const char* const withNull[] = {allowed.c_str(), nullptr};
  const char* const withEmpty[] = {""};
  const char* const withMissing[] = {missing.c_str()};
  const char* const withFile[] = {file.c_str()};
  EXPECT_EQ(pwSetReadableDirectories(withNull, 2), 0);
  EXPECT_EQ(pwGetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(pwSetReadableDirectories(withEmpty, 1), 0);
  EXPECT_EQ(pwGetLastError(), kErrorInvalidParameter);
  EXPECT_EQ(pwSetReadableDirectories(withMissing, 1), 0);
  EXPECT_EQ(pwGetLastError(), kErrorFileNotFound);
  EXPECT_EQ(pwSetReadableDirectories(withFile, 1), 0);
  EXPECT_EQ(pwGetLastError(), kErrorDirectory);
  expectRefused("@/../outside/other@/1", allowed + "/../outside/other.tif");
}

class LimitsTest : public ConversionTest {
 protected:
  void SetUp() override {
    ConversionTest::SetUp();
    params.directivesEnabled = 1;
    params.imageDirectory = imageDir.c_str();
  }
  std::string imageDir = dir.path().string();
};

TEST_F(LimitsTest, AnInsertedFileBeyondTheLimitIsNotReadAndFailsAsTooLarge) {
  const std::string big = dir.write("big.txt", "x");
  fs::resize_file(big, kMaxInsertFileBytes + 1);
  FieldTable fields;
  fields.set(3, big);
  EXPECT_EQ(convert("%3", fields.get()), 0);
  EXPECT_EQ(lastError(), kErrorFileTooLarge);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
  EXPECT_THAT(sink.events[0].inserts, ElementsAre(big, errorText(kErrorFileTooLarge)));

  // Exactly at the limit the file is read.
  fs::resize_file(big, kMaxInsertFileBytes);
  sink.events.clear();
  LineList list;
  EXPECT_EQ(list.load(big.c_str()), 1);
}

TEST_F(LimitsTest, AnImageBeyondThePixelLimitIsNotDecodedAndFailsNamingTheLimit) {
  // 1 bit per pixel keeps it under the byte limit; 100 Mpixel is over the pixel limit.
  const std::string big = dir.file("big.tif");
  TIFF* tif = TIFFOpen(big.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 10000);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 10000);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 10000);
  char strip[16] = {};
  ASSERT_EQ(TIFFWriteRawStrip(tif, 0, strip, sizeof strip), 16);
  TIFFClose(tif);

  EXPECT_EQ(convert("@/big@/2"), 0);
  EXPECT_EQ(lastError(), kErrorImageTooLarge);
  ASSERT_EQ(sink.events.size(), 1u);
  EXPECT_EQ(sink.events[0].id, msg::kCannotConvertTiff);
  EXPECT_THAT(sink.events[0].text, ::testing::HasSubstr("64 megapixels"));
}

TEST_F(LimitsTest, AnImageReferenceToAFifoFailsInsteadOfStalling) {
  // Nobody writes to the FIFO: a blocking open would wait for ever.
  const std::string fifo = dir.file("pipe.tif");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(convert("@/pipe@/1"), 0);
  EXPECT_EQ(lastError(), kErrorBadFileType);
}

}  // namespace
}  // namespace pw::testing
