// The command's terminal output: results on standard output, messages and reports on standard
// error, filtered by verbosity, and a progress bar that other lines never tear.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include "options.h"

namespace pw::cli {

enum class Severity { kError, kWarning, kInfo };

class Console {
 public:
  /// progressAllowed: draw a progress bar when one is started (stderr is a terminal).
  Console(Verbosity verbosity, bool progressAllowed);

  /// A result line on standard output ("letter.tif: 2 pages"); quiet runs print none.
  void result(const std::string& line);
  /// Sends result lines to standard error, for runs whose fax goes to standard output.
  void resultsOnStandardError() { resultsOnStandardError_ = true; }
  /// "error: text" and the like on standard error, when the verbosity admits the severity.
  void message(Severity severity, const std::string& text);
  /// A plain line on standard error, such as a summary; quiet runs print none.
  void status(const std::string& line);
  /// A module report: "error 28020: Cannot open x: ...".
  void report(Severity severity, uint32_t code, const std::string& text);

  void startProgress(std::size_t total);
  void advanceProgress(const std::string& finished);
  void endProgress();

  bool admits(Severity severity) const;

 private:
  void writeErrorLine(const std::string& line);
  void drawBar();
  void clearBar();

  std::mutex mutex_;
  Verbosity verbosity_;
  bool progressAllowed_;
  bool resultsOnStandardError_ = false;
  bool barShown_ = false;
  std::size_t total_ = 0;
  std::size_t done_ = 0;
  std::string last_;
};

/// Whether standard error is a terminal.
bool stderrIsTerminal();

}  // namespace pw::cli
