#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/errno_map.h"
#include "platform/last_error.h"
#include "platform/real_path.h"

namespace pw::detail {

bool resolveRealPath(const char* path, std::string* resolved) {
  if (!path || !*path) return fail(kErrorInvalidName);
  const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path, nullptr), &std::free);
  if (!real) {
    // A missing directory on the way is "path not found", as on Windows.
    return fail(errno == ENOTDIR ? kErrorPathNotFound : win32FromErrno(errno));
  }
  resolved->assign(real.get());
  return true;
}

bool resolveDirectory(const char* path, std::string* resolved) {
  if (!resolveRealPath(path, resolved)) return false;
  struct stat status {};
  if (::stat(resolved->c_str(), &status) != 0) return failWithErrno() != 0;
  if (!S_ISDIR(status.st_mode)) return fail(kErrorDirectory);
  return true;
}

bool isWithinDirectory(const std::string& resolved, const std::string& directory) {
  if (resolved.compare(0, directory.size(), directory) != 0) return false;
  // "/a/bc" is not inside "/a/b"; the root directory ends in its separator already.
  return resolved.size() == directory.size() || directory.back() == '/' ||
         resolved[directory.size()] == '/';
}

}  // namespace pw::detail
