// The command facing untrusted input and a hostile environment: --confine keeps markup inside
// the directories given, and a file-size limit hit while writing leaves no output behind.
#include <sys/resource.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
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

TEST_F(HostileInputCommand, ConfineNeedsAnExistingDirectory) {
  dir.write("letter.txt", "x\n");
  EXPECT_EQ(run({"--confine", "missing", "letter.txt"}).status, 2);
}

TEST_F(HostileInputCommand, HelpExplainsWhenToConfine) {
  const CommandOutput help = run({"--help"});
  EXPECT_THAT(help.out, HasSubstr("--confine"));
  EXPECT_THAT(help.out, HasSubstr("mail-to-fax"));
}

// The limit applies to the command, which inherits it; the test restores its own afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    // An ignored signal stays ignored across exec: the write fails with EFBIG instead.
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(HostileInputCommand, AFullDiskFailsTheConversionAndLeavesNoOutput) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "line " + std::to_string(i) + " of a long letter\n";
  dir.write("long.txt", text);
  CommandOutput result;
  {
    const FileSizeLimit limit(20000);
    result = run({"long.txt", "-o", "long.tif"});
  }
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("File too large"));
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_EQ(entry.path().filename(), "long.txt") << "left behind";
  }
}

}  // namespace
}  // namespace pw::cli::testing
