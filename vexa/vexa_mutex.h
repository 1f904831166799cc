// VexaMutex: the library's mutex object, guarding the memory managers, the metric manager
// and the block tracker. Process-local and unnamed; Lock takes a time limit and remembers
// the longest wait so far. The compact form (32-bit handle) serves the block tracker and
// behaves the same.
#ifndef OM_VEXA_MUTEX_H
#define OM_VEXA_MUTEX_H

#include <stdint.h>

namespace vexa {

class VexaMemManager;

// No limit for Lock.
constexpr int32_t kWaitForever = -1;

struct VexaMutex {
  uint64_t handle;       // 0 when there is no mutex
  uint32_t longestWait;  // milliseconds
  uint32_t reserved;

  // Closes a held mutex and zeroes the object; with create non-zero makes a new mutex.
  int32_t Create(int32_t create);
  int32_t Close();
  // 0 when held; -1 without a mutex, on failure or after milliseconds (-1 = no limit).
  int32_t Lock(int32_t milliseconds);
  int32_t Unlock();
};
static_assert(sizeof(VexaMutex) == 16, "NewVexaMutex reserves 16 bytes");

struct VexaMutexCompact {
  uint32_t handle;
  uint32_t longestWait;

  int32_t Create(int32_t create);
  int32_t Close();
  int32_t Lock(int32_t milliseconds);
  int32_t Unlock();
};

// A mutex in a 16-byte block tagged "VexaMutex" from manager (null = no manager); null
// when the block or the mutex cannot be made.
VexaMutex* NewVexaMutex(VexaMemManager* manager, int32_t create);
// Closes and releases the mutex the holder points to and sets the holder to null.
void DeleteVexaMutex(VexaMutex** holder);

}  // namespace vexa

#endif
