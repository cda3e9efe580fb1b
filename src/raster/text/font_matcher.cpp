#include "raster/text/font_matcher.h"

#include <fontconfig/fontconfig.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace pw {

namespace {

// lfPitchAndFamily bits.
constexpr uint8_t kFixedPitch = 0x01;
constexpr uint8_t kFamilyMask = 0xF0;
constexpr uint8_t kFamilyRoman = 0x10;
constexpr uint8_t kFamilyModern = 0x30;

constexpr int kBoldRequestWeight = 600;  // FW_SEMIBOLD and above count as a bold request

using RequestKey = FontRequest;

// Words that mark a family as fixed-pitch, so that a face that is not installed is replaced by a
// fixed-pitch one and a table set in it keeps its columns.
bool namesFixedPitch(const std::string& face) {
  static constexpr const char* kMarks[] = {"mono", "courier",    "consol",  "fixed",
                                           "code", "typewriter", "terminal"};
  std::string lowered;
  for (char c : face) lowered += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* mark : kMarks) {
    if (lowered.find(mark) != std::string::npos) return true;
  }
  return false;
}

bool fixedPitchRequest(const std::string& face, uint8_t pitchAndFamily) {
  return (pitchAndFamily & kFixedPitch) || (pitchAndFamily & kFamilyMask) == kFamilyModern ||
         namesFixedPitch(face);
}

const char* genericFamily(const std::string& face, uint8_t pitchAndFamily) {
  if (fixedPitchRequest(face, pitchAndFamily)) return "monospace";
  if ((pitchAndFamily & kFamilyMask) == kFamilyRoman) return "serif";
  return "sans-serif";
}

// The matched font's family that the request named, else its first.
std::string matchedFamily(FcPattern* matched, const std::string& face) {
  FcChar8* first = nullptr;
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(matched, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
    if (i == 0) first = name;
    if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(face.c_str())) == 0) {
      return reinterpret_cast<const char*>(name);
    }
  }
  return first ? reinterpret_cast<const char*>(first) : "";
}

// A language for the scripts Latin fonts may lack, so that fontconfig prefers a font that has
// them when the face name does not decide.
const char* scriptLanguage(uint8_t charSet) {
  switch (charSet) {
    case 177:
      return "he";
    case 178:
      return "ar";
    case 222:
      return "th";
    case 161:
      return "el";
    case 204:
      return "ru";
    default:
      return "";
  }
}

struct PatternDeleter {
  void operator()(FcPattern* pattern) const { FcPatternDestroy(pattern); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

std::optional<FontMatch> queryFontconfig(const RequestKey& key) {
  const auto& [face, bold, italic, pitchAndFamily, language] = key;
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return std::nullopt;
  if (!face.empty()) {
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
  }
  FcPatternAddString(pattern.get(), FC_FAMILY,
                     reinterpret_cast<const FcChar8*>(genericFamily(face, pitchAndFamily)));
  if (fixedPitchRequest(face, pitchAndFamily)) {
    FcPatternAddInteger(pattern.get(), FC_SPACING, FC_MONO);
  }
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  if (!language.empty()) {
    FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>(language.c_str()));
  }
  if (!FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern)) return std::nullopt;
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  PatternPtr matched(FcFontMatch(nullptr, pattern.get(), &result));
  if (!matched) return std::nullopt;

  FcChar8* file = nullptr;
  if (FcPatternGetString(matched.get(), FC_FILE, 0, &file) != FcResultMatch) return std::nullopt;
  FontMatch match;
  match.file = reinterpret_cast<const char*>(file);
  FcPatternGetInteger(matched.get(), FC_INDEX, 0, &match.index);
  match.family = matchedFamily(matched.get(), face);
  int weight = FC_WEIGHT_REGULAR;
  int slant = FC_SLANT_ROMAN;
  FcBool embolden = FcFalse;
  FcMatrix* matrix = nullptr;
  FcPatternGetInteger(matched.get(), FC_WEIGHT, 0, &weight);
  FcPatternGetInteger(matched.get(), FC_SLANT, 0, &slant);
  FcPatternGetBool(matched.get(), FC_EMBOLDEN, 0, &embolden);
  FcPatternGetMatrix(matched.get(), FC_MATRIX, 0, &matrix);
  // The configuration's synthesis rules mark faces to be emboldened or slanted, and then report
  // the requested weight and slant rather than the face's own.
  match.syntheticBold = bold && (embolden == FcTrue || weight < FC_WEIGHT_DEMIBOLD);
  match.syntheticOblique = italic && ((matrix && matrix->xy != 0) || slant == FC_SLANT_ROMAN);
  return match;
}

void addList(FcStrList* list, std::vector<std::string>* paths) {
  if (!list) return;
  while (const FcChar8* entry = FcStrListNext(list)) {
    paths->emplace_back(reinterpret_cast<const char*>(entry));
  }
  FcStrListDone(list);
}

std::string parentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string userDirectory(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value == '/') return value;
  const char* home = std::getenv("HOME");
  return home && *home == '/' ? std::string(home) + fallback : std::string();
}

// Everything whose change could change a match: the configuration files read and their
// folders, the font folders and theirs, and the user's configuration and font folders, which
// may not exist yet.
std::vector<std::string> configurationPaths() {
  std::vector<std::string> paths;
  addList(FcConfigGetConfigFiles(nullptr), &paths);
  addList(FcConfigGetConfigDirs(nullptr), &paths);
  addList(FcConfigGetFontDirs(nullptr), &paths);
  const size_t listed = paths.size();
  for (size_t i = 0; i < listed; ++i) paths.push_back(parentOf(paths[i]));
  const std::string config = userDirectory("XDG_CONFIG_HOME", "/.config");
  const std::string data = userDirectory("XDG_DATA_HOME", "/.local/share");
  const char* home = std::getenv("HOME");
  if (!config.empty()) {
    paths.insert(paths.end(), {config, config + "/fontconfig", config + "/fontconfig/conf.d",
                               config + "/fontconfig/fonts.conf"});
  }
  if (!data.empty()) paths.insert(paths.end(), {data, data + "/fonts"});
  if (home && *home == '/') {
    const std::string user = home;
    paths.insert(paths.end(), {user + "/.fonts", user + "/.fonts.conf", user + "/.fonts.conf.d"});
  }
  paths.push_back("/usr/local/share/fonts");
  return paths;
}

// The process's matches, and the file that keeps them between processes when a host asks for
// one.
struct Matches {
  std::mutex mutex;
  std::map<RequestKey, std::optional<FontMatch>> known;
  std::string diskPath;
  std::optional<FontMatchCache> disk;  // loaded from diskPath at the first request
};

Matches& processMatches() {
  static Matches matches;
  return matches;
}

}  // namespace

void setFontMatchCachePath(std::string path) {
  Matches& matches = processMatches();
  std::lock_guard lock(matches.mutex);
  matches.diskPath = std::move(path);
  matches.disk.reset();
}

std::optional<FontMatch> matchFont(const LogFont& font) {
  const size_t faceLength = strnlen(font.lfFaceName, sizeof font.lfFaceName);
  RequestKey key{std::string(font.lfFaceName, faceLength), font.lfWeight >= kBoldRequestWeight,
                 font.lfItalic != 0, font.lfPitchAndFamily, scriptLanguage(font.lfCharSet)};

  Matches& matches = processMatches();
  std::lock_guard lock(matches.mutex);
  auto& cache = matches.known;
  auto found = cache.find(key);
  if (found != cache.end()) return found->second;

  // Matches of earlier processes under the same configuration spare loading fontconfig.
  static const std::string environment = FontMatchCache::currentEnvironment();
  if (!matches.disk) matches.disk.emplace(matches.diskPath).load(environment);
  FontMatchCache& disk = *matches.disk;
  if (std::optional<FontMatch> known = disk.find(key))
    return cache.emplace(key, known).first->second;

  // FcInit parses the configuration and takes long; do it once, for the first request that
  // needs it.
  static const bool initialised = FcInit() == FcTrue;
  if (!initialised) return std::nullopt;
  std::optional<FontMatch> match = queryFontconfig(key);
  if (match) (void)disk.store(key, *match, configurationPaths(), environment);
  return cache.emplace(key, std::move(match)).first->second;
}

}  // namespace pw
