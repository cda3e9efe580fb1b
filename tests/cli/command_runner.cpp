#include "command_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

extern char** environ;

namespace pw::cli::testing {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<std::string> commandLine(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {PAGEWRIGHT_COMMAND};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

CommandProcess::CommandProcess(std::vector<std::string> args, const fs::path& cwd,
                               const std::string& input) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // Output goes to files rather than pipes, so a chatty child can never block on a full pipe.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, capture_.file("out").c_str(),
                                   O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, capture_.file("err").c_str(),
                                   O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  // The command meets the signals as a shell would start it, whatever the test runner ignores.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == 0) pid_ = child;
}

CommandProcess::~CommandProcess() {
  if (running()) {
    kill(pid_, SIGKILL);
    (void)wait();
  }
}

bool CommandProcess::running() {
  if (pid_ < 0 || ended_) return false;
  ended_ = waitpid(pid_, &waitStatus_, WNOHANG) == pid_;
  return !ended_;
}

CommandOutput CommandProcess::wait() {
  CommandOutput result;
  if (pid_ < 0) {
    result.err = "posix_spawn failed";
  } else {
    while (!ended_ && waitpid(pid_, &waitStatus_, 0) < 0 && errno == EINTR) {
    }
    ended_ = true;
    if (WIFEXITED(waitStatus_)) result.status = WEXITSTATUS(waitStatus_);
    result.out = readFile(capture_.file("out"));
    result.err = readFile(capture_.file("err"));
  }
  return result;
}

namespace {

using TiffPtr = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

TiffPtr openTiff(const std::string& path) {
  return {TIFFOpen(path.c_str(), "r"), &TIFFClose};
}

}  // namespace

int tiffPageCount(const std::string& path) {
  const TiffPtr tiff = openTiff(path);
  return tiff ? TIFFNumberOfDirectories(tiff.get()) : -1;
}

std::string tiffPagePbm(const std::string& path, int page) {
  const TiffPtr tiff = openTiff(path);
  if (!tiff || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page))) return {};
  uint32_t width = 0;
  uint32_t length = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &length);
  std::string pbm = "P4\n" + std::to_string(width) + " " + std::to_string(length) + "\n";
  std::string row(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())), '\0');
  for (uint32_t y = 0; y < length; ++y) {
    if (TIFFReadScanline(tiff.get(), row.data(), y, 0) < 0) return {};
    pbm += row;
  }
  return pbm;
}

bool scrambleStrip(const std::string& path, int page) {
  uint64_t offset = 0;
  uint64_t size = 0;
  {
    const TiffPtr tiff = openTiff(path);
    uint64_t* offsets = nullptr;
    uint64_t* sizes = nullptr;
    if (!tiff || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1)) ||
        !TIFFGetField(tiff.get(), TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &sizes)) {
      return false;
    }
    offset = offsets[0] + sizes[0] / 2;
    size = sizes[0] - sizes[0] / 2;
  }
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  if (!file) return false;
  std::minstd_rand random(page);
  bool ok = std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
  for (uint64_t i = 0; ok && i < size; ++i)
    ok = std::fputc(static_cast<int>(random() & 0xFF), file) != EOF;
  return std::fclose(file) == 0 && ok;
}

}  // namespace pw::cli::testing
