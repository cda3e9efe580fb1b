// Reading the text file: the converter's only view of the file system for it.
#pragma once

#include <cstdint>
#include <memory>

namespace pw {

/// An open file read from its start to its end.
class FileReader {
 public:
  virtual ~FileReader() = default;
  /// Reads up to size bytes; *got is 0 at the end of the file. False on a read error, with its
  /// Win32 code as the last-error value.
  [[nodiscard]] virtual bool read(void* buffer, uint32_t size, uint32_t* got) = 0;
};

/// Opens files for the converter. Abstract so that tests can inject failures.
class FileOpener {
 public:
  virtual ~FileOpener() = default;
  /// Opens path for reading, shared with other readers; null with the last-error value set (2 not
  /// found, 3 path not found, 5 access denied, ...).
  virtual std::unique_ptr<FileReader> openForReading(const char* path) = 0;
};

/// The platform's file system.
FileOpener& platformFiles();

}  // namespace pw
