// Readable text for the module's last-error values, which are Win32 error codes on every
// platform.
#pragma once

#include <cstdint>
#include <string>

namespace pw::cli {

/// The system's text for code ("No such file or directory" for 2), or "error N" when there is
/// none.
std::string lastErrorText(uint32_t code);

}  // namespace pw::cli
