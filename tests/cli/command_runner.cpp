#include "command_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>

extern char** environ;

namespace pw::cli::testing {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
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

}  // namespace pw::cli::testing
