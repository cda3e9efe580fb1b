/* Preloaded into a test host: allocations of pw_fail_allocations_from bytes or more fail, as they
 * do for a host whose heap is exhausted or capped. The host sets the threshold itself (through
 * dlsym), so that its own set-up is not affected. The library asks for no aligned blocks. */
#include <errno.h>
#include <stddef.h>
#include <stdint.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);

size_t pw_fail_allocations_from = SIZE_MAX;

static int refused(size_t size) {
  if (size < pw_fail_allocations_from) return 0;
  errno = ENOMEM;
  return 1;
}

void* malloc(size_t size) {
  return refused(size) ? NULL : __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  /* An overflowing product is refused like any allocation too large. */
  const size_t total = size != 0 && count > SIZE_MAX / size ? SIZE_MAX : count * size;
  return refused(total) ? NULL : __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
  return refused(size) ? NULL : __libc_realloc(block, size);
}
