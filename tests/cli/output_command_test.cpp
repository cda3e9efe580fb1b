// What the command does to its outputs: an older output outlives a failed or interrupted run,
// each kind of destination is replaced or written into as it asks, page files sort and replace
// an earlier run's.
#include <fcntl.h>
#include <sys/resource.h>
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
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "command_runner.h"

namespace pw::cli::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using Files = std::map<std::string, std::string>;  // name -> bytes

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

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

// The limit applies to the command, which inherits it; the test restores its own afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
};

// --- a failed run over an older output ------------------------------------------------------

struct FailingRun {
  const char* name;
  const char* output;  // made by a good run of three pages first
  std::vector<std::string> args;
  const char* cause;
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

void PrintTo(const FailingRun& run, std::ostream* out) {
  *out << run.name;
}

class FailedRun : public ::testing::TestWithParam<FailingRun> {};

TEST_P(FailedRun, LeavesTheOlderOutputByteForByteAndNothingElse) {
  const FailingRun& run = GetParam();
  ScratchDir dir;
  dir.write("good.txt", pages(3));
  dir.write("long.txt", pages(40));
  dir.write("logo.txt", "@/logo@/2\n");
  dir.write("insert.txt", "%3\n");
  dir.write("blank.txt", " \n\n  \n");
  ASSERT_EQ(runCommand({"good.txt", "-o", run.output}, dir.path()).status, 0);
  const Files before = snapshot(dir.path());

  std::vector<std::string> args = run.args;
  args.insert(args.end(), {"-o", run.output});
  CommandOutput result;
  {
    const FileSizeLimit limit(run.fileSizeLimit);
    result = runCommand(args, dir.path());
  }
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr(run.cause));
  EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, FailedRun,
    ::testing::Values(
        FailingRun{"MissingImageOverTiff", "keep.tif", {"--markup", "logo.txt"}, "logo.tif"},
        FailingRun{"MissingImageOverPngPages", "keep.png", {"--markup", "logo.txt"}, "logo.tif"},
        FailingRun{"MissingInsertOverPdf",
                   "keep.pdf",
                   {"--markup", "--field", "3=absent.txt", "insert.txt"},
                   "absent.txt"},
        FailingRun{"BlankInputOverPdf", "keep.pdf", {"blank.txt"}, "no printable text"},
        FailingRun{"FileSizeLimitOverTiff", "keep.tif", {"long.txt"}, "File too large", 20000}),
    [](const ::testing::TestParamInfo<FailingRun>& info) { return std::string(info.param.name); });

// --- interruption ---------------------------------------------------------------------------

bool holdsPartFile(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".part") return true;
  }
  return false;
}

class Interrupted : public ::testing::TestWithParam<int> {};

TEST_P(Interrupted, LeavesNoPartFileAndTheOlderPagesAndExitsWith128PlusTheSignal) {
  ScratchDir dir;
  dir.write("short.txt", pages(2));
  dir.write("long.txt", pages(5000));
  ASSERT_EQ(runCommand({"short.txt", "-o", "fax.png"}, dir.path()).status, 0);
  const Files before = snapshot(dir.path());

  CommandProcess run(commandLine({"long.txt", "-o", "fax.png"}), dir.path());
  while (run.running() && !holdsPartFile(dir.path())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  kill(run.pid(), GetParam());
  EXPECT_EQ(run.wait().status, 128 + GetParam());
  EXPECT_EQ(snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGPIPE),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(sigabbrev_np(info.param));
                         });

// --- destinations ---------------------------------------------------------------------------

struct Scene {
  ScratchDir dir;
  std::string fax;  // the bytes a plain file of the same conversion holds
  int fifo = -1;    // the reading end, opened before the command runs
};

struct Destination {
  const char* name;
  std::function<std::string(Scene&)> prepare;  // returns the -o argument
  std::function<void(Scene&, const CommandOutput&)> check;
};

void PrintTo(const Destination& destination, std::ostream* out) {
  *out << destination.name;
}

class WritingTo : public ::testing::TestWithParam<Destination> {};

TEST_P(WritingTo, TheDestinationGetsTheFaxAndNothingIsLeftBehind) {
  Scene scene;
  scene.dir.write("a.txt", "text\n");
  fs::create_directory(scene.dir.path() / "tmp");
  ASSERT_EQ(runCommand({"a.txt", "-o", "tmp/plain.tif"}, scene.dir.path()).status, 0);
  scene.fax = readFile(scene.dir.path() / "tmp/plain.tif");
  fs::remove(scene.dir.path() / "tmp/plain.tif");

  const std::string output = GetParam().prepare(scene);
  const CommandOutput result =
      runCommand({"a.txt", "-o", output}, scene.dir.path(), {"TMPDIR=" + scene.dir.file("tmp")});
  EXPECT_EQ(result.status, 0) << result.err;
  GetParam().check(scene, result);
  EXPECT_TRUE(fs::is_empty(scene.dir.path() / "tmp")) << "spool left behind";
  for (const auto& entry : fs::directory_iterator(scene.dir.path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path() << " left behind";
  }
}

mode_t kindOf(const std::string& path) {
  struct stat status {};
  lstat(path.c_str(), &status);
  return status.st_mode & S_IFMT;
}

const std::string kLongName = std::string(NAME_MAX - 4, 'n') + ".tif";  // as long as names go

INSTANTIATE_TEST_SUITE_P(
    Kinds, WritingTo,
    ::testing::Values(
        Destination{"StandardOutput", [](Scene&) { return std::string("-"); },
                    [](Scene& scene, const CommandOutput& result) {
                      EXPECT_TRUE(result.out == scene.fax);
                      EXPECT_EQ(result.err, "standard output: 1 page\n");
                    }},
        Destination{"SymbolicLinkToAPrivateFile",
                    [](Scene& scene) {
                      const std::string real = scene.dir.write("real.tif", "older");
                      chmod(real.c_str(), 0660);  // more than the umask lets a new file have
                      if (geteuid() == 0) {
                        EXPECT_EQ(chown(real.c_str(), 65534, 65534), 0);
                      }
                      fs::create_symlink("real.tif", scene.dir.path() / "link.tif");
                      return std::string("link.tif");
                    },
                    [](Scene& scene, const CommandOutput&) {
                      EXPECT_TRUE(fs::is_symlink(scene.dir.path() / "link.tif"));
                      EXPECT_TRUE(readFile(scene.dir.path() / "real.tif") == scene.fax);
                      struct stat status {};
                      stat(scene.dir.file("real.tif").c_str(), &status);
                      EXPECT_EQ(status.st_mode & 07777, 0660u);
                      if (geteuid() == 0) {
                        EXPECT_EQ(status.st_uid, 65534u);
                      }
                    }},
        Destination{
            "CharacterDevice",
            [](Scene& scene) {
              EXPECT_EQ(mknod(scene.dir.file("null.tif").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0)
                  << "needs root: " << std::strerror(errno);
              return std::string("null.tif");
            },
            [](Scene& scene, const CommandOutput&) {
              EXPECT_EQ(kindOf(scene.dir.file("null.tif")), S_IFCHR);
            }},
        Destination{"Fifo",
                    [](Scene& scene) {
                      const std::string fifo = scene.dir.file("fifo.tif");
                      EXPECT_EQ(mkfifo(fifo.c_str(), 0644), 0);
                      // Opened before the command, whose one page fits in the pipe's buffer: no
                      // reading thread, and no hang when the command never opens the FIFO.
                      scene.fifo = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
                      return std::string("fifo.tif");
                    },
                    [](Scene& scene, const CommandOutput&) {
                      std::string received(scene.fax.size() + 1, '\0');
                      const ssize_t got = read(scene.fifo, received.data(), received.size());
                      close(scene.fifo);
                      received.resize(static_cast<size_t>(std::max<ssize_t>(got, 0)));
                      EXPECT_TRUE(received == scene.fax);
                      EXPECT_EQ(kindOf(scene.dir.file("fifo.tif")), S_IFIFO);
                    }},
        Destination{"LongestName", [](Scene&) { return kLongName; },
                    [](Scene& scene, const CommandOutput&) {
                      EXPECT_TRUE(readFile(scene.dir.path() / kLongName) == scene.fax);
                    }}),
    [](const ::testing::TestParamInfo<Destination>& info) { return std::string(info.param.name); });

// --- page files -----------------------------------------------------------------------------

TEST(PageFiles, SortInPageOrderAndReplaceAnEarlierLongerRun) {
  ScratchDir dir;
  const std::vector<std::string> tiny = {"--paper", "215x10", "--margins", "1", "--size", "4"};
  auto run = [&](int count) {
    dir.write("in.txt", pages(count));
    std::vector<std::string> args = {"in.txt", "-o", "m.png"};
    args.insert(args.end(), tiny.begin(), tiny.end());
    return runCommand(args, dir.path());
  };
  auto pngFiles = [&] {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : snapshot(dir.path())) {
      if (name != "in.txt") names.push_back(name);
    }
    return names;
  };

  const CommandOutput thousand = run(1000);
  EXPECT_EQ(thousand.out, "m-0001.png ... m-1000.png: 1000 pages\n");
  const std::vector<std::string> written = pngFiles();
  ASSERT_EQ(written.size(), 1000u);
  EXPECT_EQ(written[100], "m-0101.png");  // in page order as a listing sorts them
  EXPECT_EQ(written.back(), "m-1000.png");

  EXPECT_EQ(run(3).out, "m-001.png ... m-003.png: 3 pages\n");
  EXPECT_THAT(pngFiles(), ::testing::ElementsAre("m-001.png", "m-002.png", "m-003.png"));
  EXPECT_EQ(run(1).out, "m-001.png: 1 page\n");
  EXPECT_THAT(pngFiles(), ::testing::ElementsAre("m-001.png"));
}

}  // namespace
}  // namespace pw::cli::testing
