// Where a fuzz target keeps its files: under $TMPDIR, which scripts/fuzz.sh points at a folder
// of the build tree that it removes afterwards.
#pragma once

#include <cstdlib>
#include <string>

inline std::string scratchPattern(const char* name) {
  const char* directory = std::getenv("TMPDIR");
  return std::string(directory && *directory ? directory : "/tmp") + "/" + name + "-XXXXXX";
}
