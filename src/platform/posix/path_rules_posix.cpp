#include "platform/path_rules.h"

namespace pw::detail {

const char kPathSeparator = '/';

// An absolute path stands on its own, as a drive or UNC path does on Windows.
bool isRootedComponent(const char* component) {
  return component[0] == '/';
}

}  // namespace pw::detail
