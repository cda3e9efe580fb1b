#include "command_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

CommandProcess::CommandProcess(std::vector<std::string> argvStrings, const fs::path& cwd,
                               const std::vector<std::string>& environment,
                               const std::string& input) {
  // Output goes to files rather than pipes, so a chatty child can never block on a full pipe.
  std::string pattern = (fs::temp_directory_path() / "pagewright-run-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  capture_ = pattern;
  const std::string outPath = (capture_ / "stdout").string();
  const std::string errPath = (capture_ / "stderr").string();

  std::vector<char*> argv;
  for (std::string& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings = environment;
  for (char** entry = environ; *entry; ++entry) envStrings.emplace_back(*entry);
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
  const int spawned = posix_spawn(&child, argv[0], &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == 0) pid_ = child;
}

CommandProcess::~CommandProcess() {
  if (running()) {
    kill(pid_, SIGKILL);
    (void)wait();
  }
  std::error_code ignored;
  fs::remove_all(capture_, ignored);
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
    result.out = readFile(capture_ / "stdout");
    result.err = readFile(capture_ / "stderr");
  }
  return result;
}

CommandOutput runCommand(const std::vector<std::string>& args, const fs::path& cwd,
                         const std::vector<std::string>& environment) {
  return CommandProcess(commandLine(args), cwd, environment).wait();
}

CommandOutput runProgram(std::vector<std::string> argv, const fs::path& cwd) {
  return CommandProcess(std::move(argv), cwd).wait();
}

}  // namespace pw::cli::testing
