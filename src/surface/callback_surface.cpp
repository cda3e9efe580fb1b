#include "surface/callback_surface.h"

namespace pw {

bool CallbackSurface::complete(const PwSurfaceOps& ops) {
  return ops.getDeviceCaps && ops.createFont && ops.selectFont && ops.deleteFont && ops.startDoc &&
         ops.startPage && ops.endPage && ops.endDoc && ops.getTextExtent && ops.textOut &&
         ops.setBkMode && ops.setDIBitsToDevice;
}

}  // namespace pw
