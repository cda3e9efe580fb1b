// Text for the benchmarks: lines of about 75 characters of English prose, as a long fax is.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pw::bench {

/// Line `index` of an endless text whose lines are 60 to 75 characters long.
std::string proseLine(std::size_t index);

/// The first `lines` lines, each ended by CR LF.
std::string proseText(std::size_t lines);

/// Writes text to a new file in the temporary directory and returns its path.
std::string writeTempFile(const std::string& text, const char* suffix = ".txt");

}  // namespace pw::bench
