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
}

}  // namespace
}  // namespace pw::testing
