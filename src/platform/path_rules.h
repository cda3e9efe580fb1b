// The platform's path syntax, in the one place where it differs: which character separates
// components and which components stand on their own instead of extending a directory.
#pragma once

namespace pw::detail {

/// The only character any path operation treats as a separator: '\\' on Windows, '/' elsewhere.
extern const char kPathSeparator;

/// Whether a non-empty component names a location of its own (a drive or UNC path on Windows, an
/// absolute path elsewhere), so that joining it replaces the directory instead of extending it.
bool isRootedComponent(const char* component);

}  // namespace pw::detail
