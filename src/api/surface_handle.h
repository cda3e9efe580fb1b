// The object behind the C API's opaque PwSurface: owns one drawing surface.
#pragma once

#include <memory>

#include "surface/drawing_surface.h"

struct PwSurface {
  std::unique_ptr<pw::DrawingSurface> surface;
};
