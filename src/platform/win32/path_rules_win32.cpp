#include "platform/path_rules.h"

namespace pw::detail {

// A forward slash is an ordinary character in the module's paths.
const char kPathSeparator = '\\';

// Only the second character is looked at for a drive ("D:\images", "D:logo"); two backslashes at
// the start make a UNC path. A single leading backslash is not rooted: it is appended.
bool isRootedComponent(const char* component) {
  return component[1] == ':' || (component[0] == '\\' && component[1] == '\\');
}

}  // namespace pw::detail
