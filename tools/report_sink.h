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

}  // namespace pw::cli
