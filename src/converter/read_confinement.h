// Which files markup may make a conversion read: the directories a host allowed for the thread.
#pragma once

#include <cstdint>
#include <string>

namespace pw {

/// Replaces the calling thread's readable directories with the resolved forms of directories
/// (count entries); null or a count of 0 lifts the restriction. Returns true, or false with the
/// earlier setting kept and the last-error value set: 87 for a null or empty entry, the
/// resolution's cause (2, 3, 5, ...) for a directory that cannot be resolved, 267 for an entry
/// that is no directory.
[[nodiscard]] bool setReadableDirectories(const char* const* directories, uint32_t count);

/// Where a file that markup names may be read from. Without a restriction *readable is path
/// itself. Otherwise path is resolved (symbolic links and ".." included) and must lie in one of
/// the thread's directories: true with *readable the resolved path, to be opened instead of path
/// so that a link changed after the check is not followed. False with last error 5 (access
/// denied) when it lies outside them, also when it does not exist there; a missing file whose
/// nearest existing directory lies inside keeps its own cause (2, 3).
[[nodiscard]] bool confineForReading(const char* path, std::string* readable) noexcept;

}  // namespace pw
