#include "vexa_mutex.h"

#include <string.h>

#include "vexa_memory.h"
#include "vexa_platform.h"

namespace vexa {

namespace {

// Both forms keep a platform handle (which always fits 32 bits) and the longest wait.
template <typename Handle>
int32_t CreateMutex(Handle& handle, uint32_t& longestWait, int32_t create) {
  if (handle != 0) PlatformMutexClose(static_cast<uint32_t>(handle));
  handle = 0;
  longestWait = 0;
  if (create == 0) return 0;
  handle = PlatformMutexCreate();
  return handle == 0 ? -1 : 0;
}

template <typename Handle>
int32_t CloseMutex(Handle& handle) {
  if (handle == 0) return 0;
  int32_t result = PlatformMutexClose(static_cast<uint32_t>(handle));
  handle = 0;
  return result;
}

int32_t LockMutex(uint32_t handle, uint32_t& longestWait, int32_t milliseconds) {
  if (handle == 0) return -1;
  uint32_t start = PlatformTickCount();
  if (PlatformMutexLock(handle, milliseconds < 0 ? -1 : milliseconds) != 0) return -1;
  uint32_t waited = PlatformTickCount() - start;
  if (waited > longestWait) longestWait = waited;
  return 0;
}

int32_t UnlockMutex(uint32_t handle) { return handle == 0 ? -1 : PlatformMutexUnlock(handle); }

}  // namespace

int32_t VexaMutex::Create(int32_t create) {
  reserved = 0;
  return CreateMutex(handle, longestWait, create);
}
int32_t VexaMutex::Close() { return CloseMutex(handle); }
int32_t VexaMutex::Lock(int32_t milliseconds) {
  return LockMutex(static_cast<uint32_t>(handle), longestWait, milliseconds);
}
int32_t VexaMutex::Unlock() { return UnlockMutex(static_cast<uint32_t>(handle)); }

int32_t VexaMutexCompact::Create(int32_t create) { return CreateMutex(handle, longestWait, create); }
int32_t VexaMutexCompact::Close() { return CloseMutex(handle); }
int32_t VexaMutexCompact::Lock(int32_t milliseconds) { return LockMutex(handle, longestWait, milliseconds); }
int32_t VexaMutexCompact::Unlock() { return UnlockMutex(handle); }

VexaMutex* NewVexaMutex(VexaMemManager* manager, int32_t create) {
  void* block = Alloc(manager, sizeof(VexaMutex), 0, "VexaMutex");
  if (block == nullptr) return nullptr;
  memset(block, 0, sizeof(VexaMutex));
  VexaMutex* mutex = static_cast<VexaMutex*>(block);
  if (mutex->Create(create) != 0) {
    Free(block);
    return nullptr;
  }
  return mutex;
}

void DeleteVexaMutex(VexaMutex** holder) {
  if (holder == nullptr || *holder == nullptr) return;
  (*holder)->Close();
  Free(*holder);
  *holder = nullptr;
}

}  // namespace vexa
