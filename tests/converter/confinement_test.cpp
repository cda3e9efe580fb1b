// Confinement of what markup may read, and the named limits on what is read. Markup is on; the
// images are real TIFF files read by the platform's image library.
#include <sys/stat.h>

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
    fs::create_directories(allowed + "/sub");
    fs::create_directories(outside);
    fs::create_directories(allowed + "2");
    ASSERT_TRUE(writeSmallTiff(allowed + "/logo.tif"));
    ASSERT_TRUE(writeSmallTiff(outside + "/other.tif"));
    ASSERT_TRUE(writeSmallTiff(allowed + "2/logo.tif"));
    dir.write("allowed/insert.txt", "inside one\ninside two\n");
    dir.write("outside/secret.txt", "secret\n");
    fs::create_symlink(allowed + "/logo.tif", allowed + "/sub/alias.tif");
    fs::create_symlink(outside + "/other.tif", allowed + "/link.tif");
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
                     uint32_t code = kErrorAccessDenied, const char* insert = nullptr) {
    SCOPED_TRACE(text);
    reset();
    FieldTable fields;
    if (insert) fields.set(3, insert);
    EXPECT_EQ(convert(text, fields.get()), 0);
    EXPECT_EQ(lastError(), code);
    ASSERT_EQ(sink.events.size(), 1u);
    EXPECT_EQ(sink.events[0].id, msg::kCannotOpen);
    EXPECT_THAT(sink.events[0].inserts, ElementsAre(named, errorText(code)));
    EXPECT_EQ(surface.count("setDIBitsToDevice"), 0);
    EXPECT_EQ(surface.drawing().find("secret"), std::string::npos);
  }

  std::string allowed = dir.file("allowed");
  std::string outside = dir.file("outside");
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
  // Markup cannot write a rooted image name ("@//" closes the reference at once), but the image
  // directory can lie elsewhere.
  params.imageDirectory = outside.c_str();
  expectFailure("@/other@/1", outside + "/other.tif");
  params.imageDirectory = allowed.c_str();
  // By "..", by a file or directory link, or by a name that shares the directory's prefix.
  expectFailure("@/../outside/other@/1", a + "../outside/other.tif");
  expectFailure("@/link@/1", a + "link.tif");
  expectFailure("@/door/other@/1", a + "door/other.tif");
  expectFailure("@/../allowed2/logo@/1", a + "../allowed2/logo.tif");
  expectFailure("a %3 b", outside + "/secret.txt", kErrorAccessDenied,
                (outside + "/secret.txt").c_str());
  expectFailure("%3", a + "../outside/secret.txt", kErrorAccessDenied,
                (a + "../outside/secret.txt").c_str());
  // Relative to the working directory, which is no allowed directory.
  expectFailure("%3", "secret.txt", kErrorAccessDenied, "secret.txt");
  // Inside, a missing file is simply not found; outside, even absence is "access denied".
  expectFailure("@/absent@/1", a + "absent.tif", kErrorFileNotFound);
  expectFailure("@/none/absent@/1", a + "none/absent.tif", kErrorFileNotFound);
  expectFailure("@/../outside/absent@/1", a + "../outside/absent.tif");
  expectFailure("@/../no/such/dir/x@/1", a + "../no/such/dir/x.tif");
  expectFailure("%3", "/no/such/dir/x.txt", kErrorAccessDenied, "/no/such/dir/x.txt");
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
  const struct {
    std::vector<const char*> directories;
    uint32_t code;
  } cases[] = {{{allowed.c_str(), nullptr}, kErrorInvalidParameter},
               {{""}, kErrorInvalidParameter},
               {{missing.c_str()}, kErrorFileNotFound},
               {{file.c_str()}, kErrorDirectory}};
  for (const auto& c : cases) {
    EXPECT_EQ(
        pwSetReadableDirectories(c.directories.data(), static_cast<uint32_t>(c.directories.size())),
        0);
    EXPECT_EQ(pwGetLastError(), c.code);
  }
  expectFailure("@/../outside/other@/1", allowed + "/../outside/other.tif");
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
  LineList list;
  EXPECT_EQ(list.load(big.c_str()), 1);
}

TEST_F(LimitsTest, AnImageReferenceToAFifoFailsInsteadOfStalling) {
  // Nobody writes to the FIFO: a blocking open would wait for ever.
  ASSERT_EQ(mkfifo(dir.file("pipe.tif").c_str(), 0600), 0);
  EXPECT_EQ(convert("@/pipe@/1"), 0);
  EXPECT_EQ(lastError(), kErrorBadFileType);
}

}  // namespace
}  // namespace pw::testing
