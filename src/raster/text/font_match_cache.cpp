#include "raster/text/font_match_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace pw {

namespace {

constexpr char kHeader[] = "pagewright font matches 2";
// The last line, so that a file cut short is never taken for a shorter valid one.
constexpr char kTrailer[] = "end";
// A cache file is a few kilobytes; anything far larger is not ours.
constexpr std::uintmax_t kMaxFileSize = 1 << 20;

// Variables that change where fontconfig reads its configuration and fonts from.
constexpr const char* kEnvironment[] = {"FONTCONFIG_FILE",    "FONTCONFIG_PATH",
                                        "FONTCONFIG_SYSROOT", "HOME",
                                        "XDG_CONFIG_HOME",    "XDG_DATA_HOME"};

bool storable(const std::string& text) {
  return text.find_first_of("\t\n\r") == std::string::npos;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool readFlag(const std::string& text, bool* flag) {
  if (text != "0" && text != "1") return false;
  *flag = text == "1";
  return true;
}

bool readInt(const std::string& text, int* value) {
  if (text.empty() || text.size() > 9) return false;
  int result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  *value = result;
  return true;
}

}  // namespace

std::string FontMatchCache::pathState(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return "-";
  // The inode as well, for a file replaced by a rename within the clock's resolution.
  return std::string(S_ISDIR(status.st_mode) ? "d" : "f") + " " +
         std::to_string(status.st_mtim.tv_sec) + "." + std::to_string(status.st_mtim.tv_nsec) +
         " " + std::to_string(status.st_size) + " " + std::to_string(status.st_ino);
}

std::string FontMatchCache::currentEnvironment() {
  std::string line;
  for (const char* name : kEnvironment) {
    const char* value = std::getenv(name);
    line += std::string(name) + "=" + (value ? value : "") + ";";
  }
  return line;
}

void FontMatchCache::load(const std::string& environment) {
  environment_.clear();
  watched_.clear();
  matches_.clear();
  if (path_.empty()) return;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path_, error);
  if (error || size > kMaxFileSize) return;
  std::ifstream file(path_, std::ios::binary);
  std::string line;
  if (!std::getline(file, line) || line != kHeader) return;

  std::string fileEnvironment;
  std::map<std::string, std::string> watched;
  std::map<FontRequest, FontMatch> matches;
  bool ended = false;
  while (std::getline(file, line)) {
    if (ended) return;
    if (line == kTrailer) {
      ended = true;
      continue;
    }
    if (line.size() < 2 || line[1] != '\t') return;
    const std::vector<std::string> fields = splitTabs(line.substr(2));
    if (line[0] == 'V' && fields.size() == 1) {
      fileEnvironment = fields[0];
    } else if (line[0] == 'W' && fields.size() == 2) {
      watched[fields[1]] = fields[0];
    } else if (line[0] == 'M' && fields.size() == 10) {
      FontRequest request;
      FontMatch match;
      int pitchAndFamily = 0;
      auto& [face, bold, italic, pitch, language] = request;
      face = fields[0];
      language = fields[4];
      match.file = fields[8];
      match.family = fields[9];
      if (!readFlag(fields[1], &bold) || !readFlag(fields[2], &italic) ||
          !readInt(fields[3], &pitchAndFamily) || pitchAndFamily > 255 ||
          !readInt(fields[5], &match.index) || !readFlag(fields[6], &match.syntheticBold) ||
          !readFlag(fields[7], &match.syntheticOblique) || match.file.empty()) {
        return;
      }
      pitch = static_cast<uint8_t>(pitchAndFamily);
      matches[request] = match;
    } else {
      return;
    }
  }
  if (!ended) return;
  environment_ = std::move(fileEnvironment);
  watched_ = std::move(watched);
  if (!stillCurrent(environment)) {
    environment_.clear();
    watched_.clear();
    return;
  }
  matches_ = std::move(matches);
}

bool FontMatchCache::stillCurrent(const std::string& environment) const {
  if (environment_ != environment || watched_.empty()) return false;
  for (const auto& [path, state] : watched_) {
    if (pathState(path) != state) return false;
  }
  return true;
}

std::optional<FontMatch> FontMatchCache::find(const FontRequest& request) const {
  const auto found = matches_.find(request);
  if (found == matches_.end()) return std::nullopt;
  return found->second;
}

bool FontMatchCache::store(const FontRequest& request, const FontMatch& match,
                           const std::vector<std::string>& watched,
                           const std::string& environment) {
  const auto& [face, bold, italic, pitch, language] = request;
  if (path_.empty() || !storable(face) || !storable(language) || !storable(match.file) ||
      !storable(match.family) || !storable(environment)) {
    return false;
  }
  // Matches made under another configuration go; those made under this one stay.
  if (!stillCurrent(environment)) {
    watched_.clear();
    matches_.clear();
  }
  environment_ = environment;
  for (const std::string& path : watched) {
    if (storable(path)) watched_[path] = pathState(path);
  }
  watched_[match.file] = pathState(match.file);
  matches_[request] = match;

  std::ostringstream text;
  text << kHeader << "\nV\t" << environment_ << "\n";
  for (const auto& [path, state] : watched_) text << "W\t" << state << "\t" << path << "\n";
  for (const auto& [key, value] : matches_) {
    const auto& [keyFace, keyBold, keyItalic, keyPitch, keyLanguage] = key;
    text << "M\t" << keyFace << "\t" << keyBold << "\t" << keyItalic << "\t" << int{keyPitch}
         << "\t" << keyLanguage << "\t" << value.index << "\t" << value.syntheticBold << "\t"
         << value.syntheticOblique << "\t" << value.file << "\t" << value.family << "\n";
  }
  text << kTrailer << "\n";

  // Written beside its place and renamed, so that concurrent processes read whole files.
  std::error_code error;
  const std::filesystem::path target(path_);
  std::filesystem::create_directories(target.parent_path(), error);
  const std::string temporary = path_ + "." + std::to_string(getpid()) + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text.str();
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path_.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace pw
