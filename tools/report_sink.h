// Prints the module's reports through the console and still writes them to the system log,
// since installing a sink takes the module's own system-log delivery away.
#pragma once

#include <string>

#include "console.h"

namespace pw::cli {

/// Routes every report to console (and syslog) until the returned guard is destroyed.
class ReportSinkGuard {
 public:
  explicit ReportSinkGuard(Console& console);
  ~ReportSinkGuard();
  ReportSinkGuard(const ReportSinkGuard&) = delete;
  ReportSinkGuard& operator=(const ReportSinkGuard&) = delete;
};

/// While alive, reports made on this thread show displayName wherever they name actualPath, so
/// that a transcoded temporary copy is reported under the user's file name.
class ReportedName {
 public:
  ReportedName(std::string actualPath, std::string displayName);
  ~ReportedName();
  ReportedName(const ReportedName&) = delete;
  ReportedName& operator=(const ReportedName&) = delete;

 private:
  friend std::string withDisplayNames(std::string text);

  std::string actual_;
  std::string display_;
  const ReportedName* outer_;
};

/// The text with every occurrence of the thread's current actual path replaced by its display name.
std::string withDisplayNames(std::string text);

}  // namespace pw::cli
