// One FreeType library and the faces loaded from it, shared by every font of a device.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <string>
#include <utility>

namespace pw {

/// Owns an FT_Library and keeps each face open once per file and face index. Not thread-safe:
/// FreeType libraries and faces belong to one thread at a time, as the device does.
class FaceCache {
 public:
  FaceCache();
  ~FaceCache();
  FaceCache(const FaceCache&) = delete;
  FaceCache& operator=(const FaceCache&) = delete;

  /// The face, loaded on first request; null when FreeType cannot open it.
  FT_Face face(const std::string& file, int index);

 private:
  FT_Library library_ = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> faces_;
};

}  // namespace pw
