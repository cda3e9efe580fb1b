// Runs the built command in a child process, as a user would, and keeps what it printed; reads
// back the TIFF files it wrote.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/temp_dir.h"

namespace pw::cli::testing {

using pw::testing::TempDir;  // write() creates no folders

struct CommandOutput {
  int status = -1;  ///< exit status; -1 when the child did not exit normally
  std::string out;
  std::string err;
};

/// The built command, then args.
std::vector<std::string> commandLine(const std::vector<std::string>& args);

/// argv[0] (a path) running in directory cwd, standard input reading the file input, its output
/// going to files; killed if not waited for.
class CommandProcess {
 public:
  CommandProcess(std::vector<std::string> argv, const std::filesystem::path& cwd,
                 const std::string& input = "/dev/null");
  ~CommandProcess();
  CommandProcess(const CommandProcess&) = delete;
  CommandProcess& operator=(const CommandProcess&) = delete;

  int pid() const { return pid_; }
  bool running();
  CommandOutput wait();

 private:
  TempDir capture_;
  int pid_ = -1;
  int waitStatus_ = 0;
  bool ended_ = false;
};

/// Runs argv[0] (a path) with the arguments that follow it in directory cwd.
inline CommandOutput runProgram(std::vector<std::string> argv, const std::filesystem::path& cwd) {
  return CommandProcess(std::move(argv), cwd).wait();
}
/// Runs the built command with args in directory cwd.
inline CommandOutput runCommand(const std::vector<std::string>& args,
                                const std::filesystem::path& cwd) {
  return runProgram(commandLine(args), cwd);
}
/// The bytes of a file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Reading back the TIFF files the command wrote, and damaging one for the checker.

/// Page count of a TIFF file; -1 when it cannot be opened.
int tiffPageCount(const std::string& path);

/// Page `page` (from 0) of a bilevel TIFF as a raw PBM file, as g32pbm writes it; empty when it
/// cannot be decoded.
std::string tiffPagePbm(const std::string& path, int page);

/// Overwrites the second half of page `page`'s (1-based) first strip with pseudo-random bytes;
/// false when the file or the page cannot be read.
bool scrambleStrip(const std::string& path, int page);

}  // namespace pw::cli::testing
