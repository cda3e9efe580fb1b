#include <windows.h>

#include <string>

#include "platform/real_path.h"

namespace pw::detail {

// GetFullPathNameA folds "." and ".." but follows no links; a reparse point inside an allowed
// directory can still lead out of it. The file must exist, as realpath requires elsewhere.
bool resolveRealPath(const char* path, std::string* resolved) {
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  char buffer[MAX_PATH];
  const DWORD length = GetFullPathNameA(path, MAX_PATH, buffer, nullptr);
  if (length == 0) return false;
  if (length >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (GetFileAttributesA(buffer) == INVALID_FILE_ATTRIBUTES) return false;
  resolved->assign(buffer, length);
  return true;
}

bool resolveDirectory(const char* path, std::string* resolved) {
  if (!resolveRealPath(path, resolved)) return false;
  const DWORD attributes = GetFileAttributesA(resolved->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return false;
  }
  return true;
}

bool isWithinDirectory(const std::string& resolved, const std::string& directory) {
  if (resolved.size() < directory.size() ||
      CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, resolved.data(),
                     static_cast<int>(directory.size()), directory.data(),
                     static_cast<int>(directory.size())) != CSTR_EQUAL) {
    return false;
  }
  return resolved.size() == directory.size() || directory.back() == '\\' ||
         resolved[directory.size()] == '\\';
}

}  // namespace pw::detail
