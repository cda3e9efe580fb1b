// The readable directories are per thread: a host that serves several senders at once runs each
// conversion on its own thread with its own confinement, and no conversion sees another's.
#include "converter/read_confinement.h"

#include <utility>
#include <vector>

#include "converter/converter.h"
#include "pagewright/pagewright.h"
#include "platform/last_error.h"
#include "platform/path_rules.h"
#include "platform/real_path.h"

namespace pw {

namespace {

struct Confinement {
  bool restricted = false;
  std::vector<std::string> directories;  // resolved
};

thread_local Confinement threadConfinement;

bool isAllowed(const std::string& resolved) {
  for (const std::string& directory : threadConfinement.directories) {
    if (detail::isWithinDirectory(resolved, directory)) return true;
  }
  return false;
}

// The nearest ancestor of path that resolves, so that a missing file can be told apart: inside an
// allowed directory it is simply not found, outside it must not even reveal that.
bool nearestExistingAncestorAllowed(const char* path) {
  std::string ancestor(path);
  std::string resolved;
  for (;;) {
    const std::size_t separator = ancestor.find_last_of(detail::kPathSeparator);
    if (separator == std::string::npos) {
      ancestor.assign(1, '.');  // assigning the literal trips a false -Wrestrict in GCC 12
    } else if (separator == 0) {
      ancestor.resize(1);  // the root
    } else {
      ancestor.resize(separator);
    }
    if (detail::resolveRealPath(ancestor.c_str(), &resolved)) return isAllowed(resolved);
    if (ancestor == "." || ancestor.size() == 1) return false;
  }
}

}  // namespace

bool setReadableDirectories(const char* const* directories, uint32_t count) {
  if (!directories || count == 0) {
    threadConfinement = Confinement{};
    return true;
  }
  Confinement confinement;
  confinement.restricted = true;
  for (uint32_t i = 0; i < count; ++i) {
    const char* directory = directories[i];
    if (!directory || !*directory) return fail(kErrorInvalidParameter);
    std::string resolved;
    if (!detail::resolveDirectory(directory, &resolved)) return false;
    confinement.directories.push_back(std::move(resolved));
  }
  threadConfinement = std::move(confinement);
  return true;
}

bool confineForReading(const char* path, std::string* readable) noexcept {
  try {
    if (!threadConfinement.restricted) {
      readable->assign(path ? path : "");
      return true;
    }
    std::string resolved;
    if (!detail::resolveRealPath(path, &resolved)) {
      if (path && *path && nearestExistingAncestorAllowed(path)) return false;
      return fail(kErrorAccessDenied);
    }
    if (!isAllowed(resolved)) return fail(kErrorAccessDenied);
    *readable = std::move(resolved);
    return true;
  } catch (const std::bad_alloc&) {
    return fail(kErrorOutOfMemory);
  }
}

bool Converter::resolveNamed(const char* name, std::string* shown, std::string* readable) {
  shown->assign(name ? name : "");
  if (names) {
    std::string located;
    if (!names->locate(name, &located)) return false;
    *shown = std::move(located);
  }
  return confineForReading(shown->c_str(), readable);
}

}  // namespace pw
