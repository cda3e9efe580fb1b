// The module's two exports (listed in pagewright.def) and the structure layout that 32-bit hosts
// were built against.
#include <cstddef>

#include "api/export_guard.h"
#include "converter/converter.h"
#include "eventlog/event_reporter.h"
#include "pagewright/pagewright.h"
#include "surface/gdi_surface_win32.h"

static_assert(sizeof(LOGFONTA) == 60);
static_assert(offsetof(RenderParams, lineSpacingMm) == 60);
static_assert(offsetof(RenderParams, directivesEnabled) == 92);
#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(RenderParams) == 100);
static_assert(offsetof(RenderParams, imageDirectory) == 96);
static_assert(sizeof(JobFields) == 216);
#elif defined(__x86_64__) || defined(_M_X64)
// The pointer's alignment moves it and pads the end.
static_assert(sizeof(RenderParams) == 104);
static_assert(offsetof(RenderParams, imageDirectory) == 96);
static_assert(sizeof(JobFields) == 432);
#endif

extern "C" {

PW_API int PW_CALL pagewright(const RenderParams* params, PwDC dc, const char* textPath,
                              uint32_t reservedArg, const JobFields* fields,
                              uint32_t* pageCountOut) {
  if (pageCountOut) *pageCountOut = 0;
  return pw::guardExport(
      "pagewright", 0,
      [&] {
        // The surface only wraps the host's device context; it lives for this call alone.
        pw::GdiSurface surface(dc);
        return pw::convertText(params, &surface, textPath, reservedArg, fields, pageCountOut);
      },
      textPath);
}

PW_API void PW_CALL setLogging(uint32_t mask) {
  pw::guardExport("setLogging", [&] { pw::moduleReporter().setLevelMask(mask); });
}

}  // extern "C"
