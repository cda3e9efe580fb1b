// What the command does to its outputs: an older output outlives a failed or interrupted run,
// each kind of destination is replaced or written into as it asks, page files sort and replace
// an earlier run's.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "command_runner.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Key;
using Files = std::map<std::string, std::string>;  // name -> bytes

// Every file under dir with its bytes, hidden ones included.
Files snapshot(const fs::path& dir) {
  Files files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_directory()) {
      files[entry.path().lexically_relative(dir).string()] = readFile(entry.path());
    }
  }
  return files;
}

// count pages of one line each.
std::string pages(int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) text += "page " + std::to_string(i) + "\f";
  return text;
}

TEST(FailedRun, LeavesTheOlderOutputByteForByteAndNothingElse) {
  const struct {
    const char* output;  // made by a good run of three pages first
    std::vector<std::string> args;
    const char* cause;
    bool fileSizeLimited = false;  // as a shell's ulimit -f would set it
  } cases[] = {
      {"keep.tif", {"--markup", "logo.txt"}, "logo.tif"},
      {"keep.png", {"--markup", "logo.txt"}, "logo.tif"},
      {"keep.pdf", {"--markup", "--field", "3=absent.txt", "insert.txt"}, "absent.txt"},
      {"keep.pdf", {"blank.txt"}, "no printable text"},
      {"keep.tif", {"long.txt"}, "File too large", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cause);
    TempDir dir;
    dir.write("good.txt", pages(3));
    dir.write("long.txt", pages(40));
    dir.write("logo.txt", "@/logo@/2\n");
    dir.write("insert.txt", "%3\n");
    dir.write("blank.txt", " \n\n  \n");
    ASSERT_EQ(runCommand({"good.txt", "-o", c.output}, dir.path()).status, 0);
    const Files before = snapshot(dir.path());

    std::vector<std::string> argv = commandLine(c.args);
    if (c.fileSizeLimited) argv.insert(argv.begin(), {"/usr/bin/prlimit", "--fsize=20000"});
    argv.insert(argv.end(), {"-o", c.output});
    const CommandOutput result = runProgram(argv, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, ::testing::HasSubstr(c.cause));
    EXPECT_EQ(snapshot(dir.path()), before);
  }
}

class Interrupted : public ::testing::TestWithParam<int> {};

TEST_P(Interrupted, LeavesNoPartFileAndTheOlderPagesAndExitsWith128PlusTheSignal) {
  TempDir dir;
  dir.write("short.txt", pages(2));
  dir.write("long.txt", pages(5000));
  ASSERT_EQ(runCommand({"short.txt", "-o", "fax.png"}, dir.path()).status, 0);
  const Files before = snapshot(dir.path());

  CommandProcess run(commandLine({"long.txt", "-o", "fax.png"}), dir.path());
  // Until its part file appears.
  while (run.running() && snapshot(dir.path()).size() == before.size()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(run.pid(), GetParam());
  EXPECT_EQ(run.wait().status, 128 + GetParam());
  EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGPIPE),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// Standard output, a symbolic link to a private file, a device, a FIFO and a name as long as
// names go: each gets the fax, and no spool or temporary file is left behind.
TEST(Destinations, GetTheFaxAsTheyAskAndNothingIsLeftBehind) {
  TempDir dir;
  dir.write("a.txt", "text\n");
  fs::create_directory(dir.path() / "tmp");
  ASSERT_EQ(runCommand({"a.txt", "-o", "plain.tif"}, dir.path()).status, 0);
  const std::string fax = readFile(dir.path() / "plain.tif");

  const std::string real = dir.write("real.tif", "older");
  chmod(real.c_str(), 0660);  // more than the umask lets a new file have
  const bool root = geteuid() == 0;
  EXPECT_TRUE(!root || chown(real.c_str(), 65534, 65534) == 0);
  fs::create_symlink("real.tif", dir.path() / "link.tif");
  ASSERT_EQ(mknod(dir.file("null.tif").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0)
      << "needs root: " << std::strerror(errno);
  ASSERT_EQ(mkfifo(dir.file("fifo.tif").c_str(), 0644), 0);
  // Opened before the command, whose one page fits in the pipe's buffer: no reading thread, and
  // no hang when the command never opens the FIFO.
  const int fifo = open(dir.file("fifo.tif").c_str(), O_RDONLY | O_NONBLOCK);
  const std::string longName = std::string(NAME_MAX - 4, 'n') + ".tif";

  std::map<std::string, CommandOutput> results;
  for (const std::string& output : {std::string("-"), std::string("link.tif"),
                                    std::string("null.tif"), std::string("fifo.tif"), longName}) {
    std::vector<std::string> argv = commandLine({"a.txt", "-o", output});
    argv.insert(argv.begin(), {"/usr/bin/env", "TMPDIR=" + dir.file("tmp")});
    results[output] = runProgram(argv, dir.path());
    EXPECT_EQ(results[output].status, 0) << output << ": " << results[output].err;
  }
  EXPECT_TRUE(results["-"].out == fax);
  EXPECT_EQ(results["-"].err, "standard output: 1 page\n");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.tif"));
  EXPECT_TRUE(readFile(real) == fax);
  struct stat status {};
  stat(real.c_str(), &status);
  EXPECT_EQ(status.st_mode & 07777, 0660u);
  EXPECT_EQ(status.st_uid, root ? 65534u : geteuid());
  EXPECT_TRUE(fs::is_character_file(dir.path() / "null.tif"));
  std::string received(fax.size() + 1, '\0');
  received.resize(
      static_cast<size_t>(std::max<ssize_t>(read(fifo, received.data(), received.size()), 0)));
  close(fifo);
  EXPECT_TRUE(received == fax);
  EXPECT_TRUE(fs::is_fifo(dir.path() / "fifo.tif"));
  EXPECT_TRUE(readFile(dir.path() / longName) == fax);
  EXPECT_TRUE(fs::is_empty(dir.path() / "tmp")) << "spool left behind";
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path() << " left behind";
  }
}

TEST(PageFiles, SortInPageOrderAndReplaceAnEarlierLongerRun) {
  TempDir dir;
  TempDir input;  // so that dir holds the pages alone
  auto run = [&](int count) {
    return runCommand({input.write("in.txt", pages(count)), "-o", "m.png", "--paper", "215x10",
                       "--margins", "1", "--size", "4"},
                      dir.path());
  };
  EXPECT_EQ(run(1000).out, "m-0001.png ... m-1000.png: 1000 pages\n");
  const Files written = snapshot(dir.path());
  ASSERT_EQ(written.size(), 1000u);
  EXPECT_EQ(std::next(written.begin(), 100)->first, "m-0101.png");  // in page order when sorted
  EXPECT_EQ(written.rbegin()->first, "m-1000.png");
  EXPECT_EQ(run(3).out, "m-001.png ... m-003.png: 3 pages\n");
  EXPECT_THAT(snapshot(dir.path()),
              ElementsAre(Key("m-001.png"), Key("m-002.png"), Key("m-003.png")));
  EXPECT_EQ(run(1).out, "m-001.png: 1 page\n");
  EXPECT_THAT(snapshot(dir.path()), ElementsAre(Key("m-001.png")));
}

}  // namespace
}  // namespace pw::cli::testing
