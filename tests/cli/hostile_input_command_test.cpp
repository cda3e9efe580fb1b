// The command facing untrusted input: --confine keeps markup inside the directories given, and
// failures name the file and their real cause.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "command_runner.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class HostileInputCommand : public ::testing::Test {
 protected:
  CommandOutput run(const std::vector<std::string>& args) { return runCommand(args, dir.path()); }

  ScratchDir dir;
};

TEST_F(HostileInputCommand, ConfineRefusesInsertsFromElsewhere) {
  fs::create_directory(dir.path() / "job");
  dir.write("job/cover.txt", "cover text\n");
  dir.write("secret.txt", "secret\n");
  dir.write("letter.txt", "%3\n");
  const CommandOutput inside = run({"--markup", "--confine", "job", "--field",
                                    "3=" + dir.file("job/cover.txt"), "letter.txt", "-o", "a.tif"});
  EXPECT_EQ(inside.status, 0) << inside.err;
  const CommandOutput outside = run({"--markup", "--confine", "job", "--field",
                                     "3=job/../secret.txt", "letter.txt", "-o", "b.tif"});
  EXPECT_EQ(outside.status, 1);
  EXPECT_THAT(outside.err, HasSubstr("Cannot open job/../secret.txt: Permission denied"));
  EXPECT_FALSE(fs::exists(dir.path() / "b.tif"));
  // Without --confine the same reference is read.
  EXPECT_EQ(run({"--markup", "--field", "3=job/../secret.txt", "letter.txt", "-o", "c.tif"}).status,
            0);
}

// Exit status 1, the file and the cause named, and no output.
TEST_F(HostileInputCommand, FailuresNameTheFileAndTheRealCause) {
  fs::create_directory(dir.path() / "folder");
  fs::create_directory(dir.path() / "images");
  ASSERT_EQ(mkfifo(dir.file("images/pipe.tif").c_str(), 0600), 0);
  dir.write("images/broken.tif", "II*\0 not really");
  dir.write("pipe.txt", "@/pipe@/2\n");
  dir.write("broken.txt", "@/broken@/2\n");
  const std::pair<std::vector<std::string>, const char*> cases[] = {
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

TEST_F(HostileInputCommand, NamesFromDecodedTextFindFilesNamedInUtf8) {
  fs::create_directories(dir.path() / "images" / "Bilder-\xC3\xBC");
  dir.write("logo.txt", "logo\n");
  ASSERT_EQ(run({"logo.txt", "-o", "images/Bilder-\xC3\xBC/logo.tif"}).status, 0);
  dir.write("Anh\xC3\xA4nge.txt", "Anlage: \xC3\xA4\xC3\xB6\xC3\xBC\n");
  dir.write("letter.txt", "Brief \xC3\xBC\n@/Bilder-\xC3\xBC/logo@/2\n%3\n");
  const CommandOutput result = run({"letter.txt", "--markup", "--image-dir", "images", "--field",
                                    "3=Anh\xC3\xA4nge.txt", "-o", "letter.tif"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
}

}  // namespace
}  // namespace pw::cli::testing
