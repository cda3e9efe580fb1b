// Font matches kept on disk between processes, so that a short conversion need not load the
// font configuration at all: fontconfig parses dozens of XML files on start-up, which costs more
// than converting a one-page letter.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace pw {

/// A font request as the matcher sees it: face name, bold, italic, lfPitchAndFamily and the
/// language that the character set asks for.
using FontRequest = std::tuple<std::string, bool, bool, uint8_t, std::string>;

struct FontMatch {
  std::string file;
  int index = 0;
  bool syntheticBold = false;     ///< bold was asked for and the family has no bold face
  bool syntheticOblique = false;  ///< italic was asked for and the family has no slanted face
  std::string family;  ///< the family chosen: the requested face, or what stands in for it

  bool operator==(const FontMatch&) const = default;
};

/// A file of matches together with the state of every file and directory that could change
/// them (the configuration files, the font directories, the font files chosen) and the
/// environment fontconfig reads. The matches are used only while all of that is unchanged.
/// Damaged or foreign files are ignored and replaced.
class FontMatchCache {
 public:
  /// The cache at path; an empty path keeps nothing.
  explicit FontMatchCache(std::string path) : path_(std::move(path)) {}

  /// Reads the file; keeps its matches only when it was written under this environment and
  /// every recorded state is still current.
  void load(const std::string& environment);
  /// The match recorded for the request, if the loaded file held a current one.
  std::optional<FontMatch> find(const FontRequest& request) const;
  /// Records a match under the configuration described by watched (the paths whose state
  /// decides the matches) and environment, and rewrites the file in one rename. Matches kept
  /// from a configuration other than this one are dropped. False when the file cannot be
  /// written; the cache is an optimisation, so callers carry on.
  bool store(const FontRequest& request, const FontMatch& match,
             const std::vector<std::string>& watched, const std::string& environment);

  /// The state of a path as recorded: modification time, size and type, or absence.
  static std::string pathState(const std::string& path);
  /// The variables fontconfig's answers depend on, as one line.
  static std::string currentEnvironment();

 private:
  bool stillCurrent(const std::string& environment) const;

  std::string path_;
  std::string environment_;
  std::map<std::string, std::string> watched_;  // path to state
  std::map<FontRequest, FontMatch> matches_;
};

}  // namespace pw
