// The event source's name on POSIX, taken from the file the module was loaded from.
#pragma once

#include <string>

namespace pw {

/// The platform's way of naming a library reversed: "/usr/lib/libpagewright.so.1" gives
/// "pagewright"; any other file (an executable the module is linked into) gives its own name.
/// "pagewright" when nothing is left.
std::string eventSourceNameOf(const std::string& modulePath);

}  // namespace pw
