// The versions of the libraries the raster device runs with, as they report themselves.
#pragma once

#include <string>

namespace pw {

/// "libtiff 4.5.0, FreeType 2.12.1": the versions loaded, which may be newer than those built
/// against.
std::string rasterLibraryVersions();

}  // namespace pw
