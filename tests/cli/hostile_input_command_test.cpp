// The command facing untrusted input: --confine keeps markup inside the directories given.
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

TEST_F(HostileInputCommand, ConfineNeedsAnExistingDirectory) {
  dir.write("letter.txt", "x\n");
  EXPECT_EQ(run({"--confine", "missing", "letter.txt"}).status, 2);
}

TEST_F(HostileInputCommand, HelpExplainsWhenToConfine) {
  const CommandOutput help = run({"--help"});
  EXPECT_THAT(help.out, HasSubstr("--confine"));
  EXPECT_THAT(help.out, HasSubstr("mail-to-fax"));
}

}  // namespace
}  // namespace pw::cli::testing
