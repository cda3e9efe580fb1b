/* A host whose heap refuses large allocations (fail_large_allocations.so preloaded): converting a
 * text of several pages onto callbacks and onto the fax device must fail with last error 8 or 14,
 * or succeed, at every limit, never end the process.
 *   alloc_failure_host WORK_DIR */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>

#include "pagewright/fax_device.h"
#include "pagewright/pagewright.h"

static int failures;

static void expect(int ok, const char* what, size_t limit, uint32_t code) {
  if (ok) return;
  fprintf(stderr, "FAIL at %zu bytes: %s (last error %u)\n", limit, what, code);
  ++failures;
}

#define OUT_OF_MEMORY(code) ((code) == 8 || (code) == 14)

/* A surface that draws nothing: the conversion's own allocations are all that is tested. Its
 * callbacks take the table's parameters and ignore most of them. */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
static PwFont font(void* user, const PwLogFont* record) {
  return user;
}
static PwFont selectFont(void* user, PwFont selected) {
  return user;
}
static void deleteFont(void* user, PwFont deleted) {}
static int32_t docStart(void* user, const char* name) {
  return 1;
}
static int32_t one(void* user) {
  return 1;
}
static int32_t extent(void* user, const char* text, int32_t count, int32_t* cx, int32_t* cy) {
  *cx = 10 * count;
  *cy = 20;
  return 1;
}
static int32_t draw(void* user, int32_t x, int32_t y, const char* text, int32_t count) {
  return 1;
}
static int32_t caps(void* user, int32_t index) {
  return 200;
}
static int32_t mode(void* user, int32_t value) {
  return value;
}
static int32_t bits(void* user, int32_t x, int32_t y, uint32_t w, uint32_t h, int32_t sx,
                    int32_t sy, uint32_t start, uint32_t lines, const void* data,
                    const PwBitmapInfoHeader* info, uint32_t use) {
  return 1;
}
#pragma GCC diagnostic pop

int main(int argc, char** argv) {
  size_t* threshold = (size_t*)dlsym(RTLD_DEFAULT, "pw_fail_allocations_from");
  if (argc != 2 || !threshold) return 2; /* see the usage above */
  char text[4096], output[4096];
  snprintf(text, sizeof text, "%s/text.txt", argv[1]);
  snprintf(output, sizeof output, "%s/out.tif", argv[1]);
  FILE* file = fopen(text, "w");
  if (!file) return 2;
  for (int line = 0; line < 200; ++line)
    fprintf(file, "line %d of a text that fills pages\n", line);
  fclose(file);

  const RenderParams params = {.font = {.lfHeight = 10, .lfFaceName = "Liberation Mono"},
                               .pageWidthMm = 210,
                               .pageHeightMm = 297,
                               .topMarginMm = 10,
                               .bottomMarginMm = 10,
                               .leftMarginMm = 10,
                               .rightMarginMm = 10};
  const PwSurfaceOps ops = {caps, font, selectFont, deleteFont, docStart, one,
                            one,  one,  extent,     draw,       mode,     bits};
  static char fontObject;
  PwSurface* callbacks = pwCreateSurface(&ops, &fontObject);
  if (!callbacks) return 2;
  const PwFaxDeviceOptions options = {.outputPath = output, .compression = PW_FAX_COMPRESSION_G4};
  const size_t limits[] = {16384, 60000, 70000, 131072, 262144, 524288, 1048576, 4194304};
  for (size_t i = 0; i < sizeof limits / sizeof limits[0]; ++i) {
    const size_t limit = limits[i];
    uint32_t pages = 99, written = 0, documentError = 0;
    *threshold = limit;
    int result = pagewright(&params, callbacks, text, 0, NULL, &pages);
    uint32_t code = pwGetLastError();
    *threshold = SIZE_MAX;
    expect(result == 1 || OUT_OF_MEMORY(code), "pagewright on callbacks", limit, code);

    *threshold = limit;
    PwSurface* device = pwCreateFaxDevice(&options);
    code = pwGetLastError();
    if (!device) {
      *threshold = SIZE_MAX;
      expect(OUT_OF_MEMORY(code), "pwCreateFaxDevice", limit, code);
      continue;
    }
    result = pagewright(&params, device, text, 0, NULL, &pages);
    code = pwGetLastError();
    const int status = pwFaxDeviceStatus(device, &written, &documentError);
    pwDestroySurface(device);
    *threshold = SIZE_MAX;
    expect(result == 1 || OUT_OF_MEMORY(code), "pagewright on the fax device", limit, code);
    expect(status == 1, "pwFaxDeviceStatus", limit, pwGetLastError());
    expect(documentError == 0 || OUT_OF_MEMORY(documentError), "the device's document", limit,
           documentError);
    printf("%8zu bytes: result %d, last error %u, document error %u, %u pages written\n", limit,
           result, code, documentError, written);
  }
  pwDestroySurface(callbacks);
  return failures == 0 ? 0 : 1;
}
