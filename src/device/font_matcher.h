// Chooses a font file for a font record the way the Win32 font mapper would, with fontconfig.
#pragma once

#include <optional>
#include <string>

#include "converter/drawing_surface.h"

namespace pw {

struct FontMatch {
  std::string file;
  int index = 0;
  bool syntheticBold = false;     ///< bold was asked for and the family has no bold face
  bool syntheticOblique = false;  ///< italic was asked for and the family has no slanted face
};

/// The installed scalable font for the record's face name, weight and italic flag; an empty or
/// unknown face name falls back on the pitch and family bits (fixed pitch or modern: monospace,
/// roman: serif, otherwise sans-serif). Results are cached per distinct request for the
/// process; fontconfig is initialised on first use. Empty when no font is installed at all.
std::optional<FontMatch> matchFont(const LogFont& font);

}  // namespace pw
