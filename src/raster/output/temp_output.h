// An output file written under a temporary name beside its final place and renamed into place
// only when complete, so that readers never see a partial document.
#pragma once

#include <string>

namespace pw {

class TempOutput {
 public:
  explicit TempOutput(std::string finalPath) : finalPath_(std::move(finalPath)) {}
  ~TempOutput() { discard(); }
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;
  TempOutput(TempOutput&& other) noexcept;
  TempOutput& operator=(TempOutput&&) = delete;

  /// Creates the temporary file in the final path's directory. False with last error 3 when the
  /// directory does not exist, 5 when it cannot be written or the final path is a directory, or
  /// the mapped errno value.
  [[nodiscard]] bool create();
  /// Closes the file and renames it to the final path. False with the cause as last error (the
  /// temporary file is then removed).
  [[nodiscard]] bool commit();
  /// Closes and removes the temporary file, if any; keeps the caller's last error.
  void discard();

  int fd() const { return fd_; }
  /// Hands the descriptor to a caller that closes it itself (fdopen).
  int releaseFd();
  const std::string& finalPath() const { return finalPath_; }
  const std::string& tempPath() const { return tempPath_; }

 private:
  std::string finalPath_;
  std::string tempPath_;
  int fd_ = -1;
};

}  // namespace pw
