// The job's fields as the module wants them: for each of the 54 entries either nothing or a list
// of lines in line-list layout, filled from --field arguments and a JSON job file.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pagewright/pagewright.h"

namespace pw::cli {

struct TranscodeResult;

class JobFieldSet {
 public:
  /// Sets the field called name ("0".."10" or a placeholder name) to lines, replacing any earlier
  /// value. Returns false when the module knows no field of that name.
  [[nodiscard]] bool set(const std::string& name, std::vector<std::string> lines);

  /// Applies "NAME=VALUE"; a value holding line breaks gives several lines. Returns an error
  /// message, empty on success.
  std::string setFromArgument(const std::string& argument);

  /// Reads a JSON object of names to strings, numbers or arrays of them (one line each). Returns
  /// an error message naming the file and the problem, empty on success.
  std::string loadJsonFile(const std::string& path);
  std::string loadJsonText(const std::string& text, const std::string& origin);

  /// Transcodes every value but that of field 3, which names a file and stays as spelt on disk.
  /// convert turns one line; warn receives the losses of each field that lost characters.
  void transcode(
      const std::function<TranscodeResult(const std::string& line)>& convert,
      const std::function<void(const std::string& field, const TranscodeResult& losses)>& warn);

  bool empty() const;

  /// The module's view of the fields; it points into this set, so it stays valid until the set
  /// is changed or destroyed.
  const JobFields& view();

 private:
  std::array<std::optional<std::vector<std::string>>, PW_JOB_FIELD_COUNT> lines_;
  std::array<std::string, PW_JOB_FIELD_COUNT> layouts_;
  JobFields fields_{};
};

/// Splits a value at its line breaks ("\n" or "\r\n").
std::vector<std::string> splitLines(const std::string& value);

}  // namespace pw::cli
