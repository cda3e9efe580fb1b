// The platform's canonical form of a path, for deciding where a file really lies.
#pragma once

#include <string>

namespace pw::detail {

/// The absolute path that path names, with ".", ".." and (where the platform has them) symbolic
/// links resolved. False with the last-error value set (2 file not found, 3 path not found, 5
/// access denied, ...) when it cannot be resolved, which includes a path that does not exist.
[[nodiscard]] bool resolveRealPath(const char* path, std::string* resolved);

/// resolveRealPath for a directory: also false, with last error 267, when path names no directory.
[[nodiscard]] bool resolveDirectory(const char* path, std::string* resolved);

/// Whether resolved (from resolveRealPath) is directory itself or lies below it. directory is
/// also resolved; the comparison follows the platform's rules for case.
[[nodiscard]] bool isWithinDirectory(const std::string& resolved, const std::string& directory);

}  // namespace pw::detail
