#include "raster/library_versions.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <tiffio.h>

#include <cstring>

namespace pw {

namespace {

// TIFFGetVersion gives "LIBTIFF, Version 4.5.0\nCopyright ...": the word after "Version".
std::string tiffVersion() {
  const char* text = TIFFGetVersion();
  const char* version = text ? std::strstr(text, "Version ") : nullptr;
  if (!version) return "unknown";
  version += std::strlen("Version ");
  return std::string(version, std::strcspn(version, " \n"));
}

std::string freetypeVersion() {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) return "unknown";
  FT_Int major = 0;
  FT_Int minor = 0;
  FT_Int patch = 0;
  FT_Library_Version(library, &major, &minor, &patch);
  FT_Done_FreeType(library);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
}

}  // namespace

std::string rasterLibraryVersions() {
  return "libtiff " + tiffVersion() + ", FreeType " + freetypeVersion();
}

}  // namespace pw
