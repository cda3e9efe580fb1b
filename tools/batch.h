// Runs a set of conversions on worker threads, each with its own device, with a progress bar
// on a terminal and a summary when there was more than one input.
#pragma once

#include <string>
#include <vector>

#include "conversion.h"

namespace pw::cli {

/// Converts inputs[i] to outputs[i] on up to `threads` threads. Returns the exit status: 0 when
/// every conversion succeeded, 1 otherwise.
int runConversions(const std::vector<std::string>& inputs, const std::vector<std::string>& outputs,
                   const ConversionSettings& settings, unsigned threads, Console& console);

}  // namespace pw::cli
