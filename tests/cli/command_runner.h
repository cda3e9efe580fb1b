// Runs the built command in a child process, as a user would, and keeps what it printed.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pw::cli::testing {

struct CommandOutput {
  int status = -1;  ///< exit status; -1 when the child did not exit normally
  std::string out;
  std::string err;
};

/// Runs the pagewright command with args in directory cwd.
CommandOutput runCommand(const std::vector<std::string>& args, const std::filesystem::path& cwd);

/// Runs argv[0] (a path) with the arguments that follow it in directory cwd.
CommandOutput runProgram(std::vector<std::string> argv, const std::filesystem::path& cwd);

/// A fresh directory that is removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

}  // namespace pw::cli::testing
