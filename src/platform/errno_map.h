// Translation between errno values and the Win32 codes the module reports.
#pragma once

#include <cstdint>

namespace pw {

/// The Win32 code for an errno value (ERROR_GEN_FAILURE for one without a counterpart).
uint32_t win32FromErrno(int err);

/// The errno value a Win32 code came from, or 0 when it has none.
int errnoFromWin32(uint32_t code);

/// Sets the last-error value from errno and returns 0.
int failWithErrno();

}  // namespace pw
