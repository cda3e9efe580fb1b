// Chooses a font file for a font record the way the Win32 font mapper would, with fontconfig.
#pragma once

#include <optional>
#include <string>

#include "raster/text/font_match_cache.h"
#include "surface/drawing_surface.h"

namespace pw {

/// The installed scalable font for the record's face name, weight and italic flag; an empty or
/// unknown face name falls back on the pitch and family bits (fixed pitch or modern: monospace,
/// roman: serif, otherwise sans-serif), and a face whose name marks it fixed-pitch ("Mono",
/// "Courier", ...) on a monospace font. Results are cached per distinct request for the
/// process and, when a host set a file for them, across processes while the font configuration
/// stays the same (see FontMatchCache); fontconfig is initialised only for a request neither
/// cache holds. Empty when no font is installed at all.
std::optional<FontMatch> matchFont(const LogFont& font);

/// The file in which matchFont keeps matches between processes; empty (the default) keeps them
/// in the process only.
void setFontMatchCachePath(std::string path);

}  // namespace pw
