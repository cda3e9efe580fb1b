#include "console.h"

#include <unistd.h>

#include <cstdio>

namespace pw::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kNameWidth = 40;  // keeps the bar within an 80-column terminal

const char* severityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kInfo:
      break;
  }
  return "info";
}

}  // namespace

bool stderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

Console::Console(Verbosity verbosity, bool progressAllowed)
    : verbosity_(verbosity), progressAllowed_(progressAllowed) {}

bool Console::admits(Severity severity) const {
  switch (verbosity_) {
    case Verbosity::kQuiet:
      return severity == Severity::kError;
    case Verbosity::kNormal:
      return severity != Severity::kInfo;
    case Verbosity::kVerbose:
      break;
  }
  return true;
}

void Console::result(const std::string& line) {
  if (verbosity_ == Verbosity::kQuiet) return;
  if (resultsOnStandardError_) return writeErrorLine(line);
  std::lock_guard lock(mutex_);
  clearBar();
  std::fprintf(stdout, "%s\n", line.c_str());
  std::fflush(stdout);
  drawBar();
}

void Console::message(Severity severity, const std::string& text) {
  if (!admits(severity)) return;
  writeErrorLine(std::string(severityName(severity)) + ": " + text);
}

void Console::status(const std::string& line) {
  if (verbosity_ == Verbosity::kQuiet) return;
  writeErrorLine(line);
}

void Console::report(Severity severity, uint32_t code, const std::string& text) {
  if (!admits(severity)) return;
  writeErrorLine(std::string(severityName(severity)) + " " + std::to_string(code) + ": " + text);
}

void Console::writeErrorLine(const std::string& line) {
  std::lock_guard lock(mutex_);
  clearBar();
  std::fprintf(stderr, "%s\n", line.c_str());
  drawBar();
}

void Console::startProgress(std::size_t total) {
  std::lock_guard lock(mutex_);
  total_ = total;
  done_ = 0;
  drawBar();
}

void Console::advanceProgress(const std::string& finished) {
  std::lock_guard lock(mutex_);
  ++done_;
  last_ = finished;
  drawBar();
}

void Console::endProgress() {
  std::lock_guard lock(mutex_);
  clearBar();
  total_ = 0;
}

void Console::drawBar() {
  if (!progressAllowed_ || total_ == 0 || verbosity_ == Verbosity::kQuiet) return;
  const int filled = static_cast<int>(done_ * kBarWidth / total_);
  std::string name = last_;
  if (name.size() > kNameWidth) name = "..." + name.substr(name.size() - kNameWidth + 3);
  std::fprintf(stderr, "\r[%s%s] %zu/%zu %s\x1b[K", std::string(filled, '#').c_str(),
               std::string(kBarWidth - filled, '.').c_str(), done_, total_, name.c_str());
  std::fflush(stderr);
  barShown_ = true;
}

void Console::clearBar() {
  if (!barShown_) return;
  std::fprintf(stderr, "\r\x1b[K");
  barShown_ = false;
}

}  // namespace pw::cli
