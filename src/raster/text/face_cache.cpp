#include "raster/text/face_cache.h"

namespace pw {

FaceCache::FaceCache() {
  if (FT_Init_FreeType(&library_) != 0) library_ = nullptr;
}

FaceCache::~FaceCache() {
  for (auto& entry : faces_) FT_Done_Face(entry.second);
  if (library_) FT_Done_FreeType(library_);
}

FT_Face FaceCache::face(const std::string& file, int index) {
  if (!library_) return nullptr;
  const auto key = std::make_pair(file, index);
  auto found = faces_.find(key);
  if (found != faces_.end()) return found->second;
  FT_Face face = nullptr;
  if (FT_New_Face(library_, file.c_str(), index, &face) != 0) return nullptr;
  faces_.emplace(key, face);
  return face;
}

}  // namespace pw
