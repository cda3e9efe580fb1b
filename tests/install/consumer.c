/* A host outside the project: builds against the installed headers and library only. */
#include <pagewright/fax_device.h>
#include <pagewright/pagewright.h>
#include <stddef.h>

int main(void) {
  RenderParams params = {0};
  uint32_t pages = 7;
  /* No surface: refused with ERROR_INVALID_PARAMETER, and nothing is drawn. */
  const int refused = pagewright(&params, NULL, "none.txt", 0, NULL, &pages) == 0 && pages == 0 &&
                      pwGetLastError() == 87;
  return refused && pwFieldIndex("ToName") == 24 ? 0 : 1;
}
