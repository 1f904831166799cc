// Counts heap allocations by standing in for the C library's allocation functions in this
// program (operator new, in the program and in the statically linked C++ runtime of each
// plug-in, comes down to malloc). Each forwards to the C library's own implementation; the
// count runs only on a thread that has started it, outside the memory host's slots.
#include <errno.h>
#include <stddef.h>

#include <atomic>
#include <cstdint>

#include "memory_host.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {
thread_local bool counting = false;
thread_local int64_t allocations = 0;

inline void Note() {
  if (counting) ++allocations;
}
}  // namespace

extern "C" {
void* malloc(size_t size) {
  Note();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  Note();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  Note();
  return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size) {
  Note();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  Note();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size) {
  Note();
  void* pointer = __libc_memalign(alignment, size);
  if (pointer == nullptr) return ENOMEM;
  *result = pointer;
  return 0;
}
}

namespace ombench {

void StartCountingAllocations() {
  allocations = 0;
  counting = true;
}

int64_t StopCountingAllocations() {
  counting = false;
  return allocations;
}

PauseAllocationCount::PauseAllocationCount() : was(counting) { counting = false; }
PauseAllocationCount::~PauseAllocationCount() { counting = was; }

}  // namespace ombench
