#include "vexa_platform.h"

#include <errno.h>
#include <fcntl.h>
#include <glob.h>
#include <pthread.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace vexa {

uint32_t PlatformTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(milliseconds);
}

uint64_t PlatformCycleCounter() {
#if defined(__x86_64__) || defined(__i386__)
  return __rdtsc();
#else
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
#endif
}

int32_t PlatformGetLocalTime(PlatformLocalTime* out) {
  if (out == nullptr) return -1;
  time_t now = time(nullptr);
  tm local{};
  if (now == static_cast<time_t>(-1) || localtime_r(&now, &local) == nullptr) return -1;
  out->weekday = local.tm_wday;
  out->month = local.tm_mon;
  out->day = local.tm_mday;
  out->hour = local.tm_hour;
  out->minute = local.tm_min;
  out->second = local.tm_sec;
  out->year = local.tm_year + 1900;
  return 0;
}

// ---- Mutexes ----
// The mutexes live in one table of this library's own, so a handle is a slot number that
// fits 32 bits. A slot is handed out under the table lock and initialised as a robust
// mutex, so a thread that ends while holding it does not block the others for ever.

namespace {

constexpr uint32_t kMutexSlots = 1024;

struct MutexSlot {
  pthread_mutex_t mutex;
  bool inUse;
};

MutexSlot gMutexSlots[kMutexSlots];
pthread_mutex_t gMutexTableLock = PTHREAD_MUTEX_INITIALIZER;

pthread_mutex_t* SlotMutex(uint32_t handle) {
  if (handle == 0 || handle > kMutexSlots) return nullptr;
  MutexSlot& slot = gMutexSlots[handle - 1];
  return slot.inUse ? &slot.mutex : nullptr;
}

}  // namespace

uint32_t PlatformMutexCreate() {
  uint32_t handle = 0;
  pthread_mutex_lock(&gMutexTableLock);
  for (uint32_t index = 0; index < kMutexSlots && handle == 0; ++index) {
    if (gMutexSlots[index].inUse) continue;
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0) break;
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_ERRORCHECK);
    if (pthread_mutex_init(&gMutexSlots[index].mutex, &attributes) == 0) {
      gMutexSlots[index].inUse = true;
      handle = index + 1;
    }
    pthread_mutexattr_destroy(&attributes);
  }
  pthread_mutex_unlock(&gMutexTableLock);
  return handle;
}

int32_t PlatformMutexLock(uint32_t handle, int32_t milliseconds) {
  pthread_mutex_t* mutex = SlotMutex(handle);
  if (mutex == nullptr) return -1;
  int result;
  if (milliseconds < 0) {
    result = pthread_mutex_lock(mutex);
  } else {
    timespec limit{};
    clock_gettime(CLOCK_MONOTONIC, &limit);
    limit.tv_sec += milliseconds / 1000;
    limit.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (limit.tv_nsec >= 1000000000L) {
      limit.tv_sec += 1;
      limit.tv_nsec -= 1000000000L;
    }
    result = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &limit);
  }
  if (result == EOWNERDEAD) {
    // The previous owner ended while holding the mutex: the caller now holds it (once).
    result = pthread_mutex_consistent(mutex);
  }
  return result == 0 ? 0 : -1;
}

int32_t PlatformMutexUnlock(uint32_t handle) {
  pthread_mutex_t* mutex = SlotMutex(handle);
  if (mutex == nullptr) return -1;
  return pthread_mutex_unlock(mutex) == 0 ? 0 : -1;
}

int32_t PlatformMutexClose(uint32_t handle) {
  pthread_mutex_lock(&gMutexTableLock);
  pthread_mutex_t* mutex = SlotMutex(handle);
  int32_t result = -1;
  if (mutex != nullptr) {
    pthread_mutex_destroy(mutex);
    gMutexSlots[handle - 1].inUse = false;
    result = 0;
  }
  pthread_mutex_unlock(&gMutexTableLock);
  return result;
}

// ---- Memory ----

void* PlatformReserveMemory(uint32_t size) {
  if (size == 0) return nullptr;
  void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return address == MAP_FAILED ? nullptr : address;
}

void PlatformReleaseMemory(void* address, uint32_t size) {
  if (address != nullptr && size != 0) munmap(address, size);
}

// ---- Files ----
// A handle is the descriptor + 1, so 0 means "no file".

namespace {

int Descriptor(int64_t handle) { return handle > 0 && handle <= 0x7FFFFFFF ? static_cast<int>(handle - 1) : -1; }

}  // namespace

int64_t PlatformFileOpen(const char* path, uint32_t access, bool shared, bool create, bool truncate) {
  if (path == nullptr || path[0] == '\0') return -1;
  int mode;
  if ((access & kPlatformRead) != 0 && (access & kPlatformWrite) != 0) {
    mode = O_RDWR;
  } else if ((access & kPlatformWrite) != 0) {
    mode = O_WRONLY;
  } else if ((access & kPlatformRead) != 0) {
    mode = O_RDONLY;
  } else {
    return -1;
  }
  // Never O_TRUNC here: the file may only be emptied once this opener holds its lock.
  int descriptor = open(path, mode | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
  if (descriptor < 0) return -1;
  if (flock(descriptor, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0 ||
      (truncate && ftruncate(descriptor, 0) != 0)) {
    close(descriptor);
    return -1;
  }
  return static_cast<int64_t>(descriptor) + 1;
}

int32_t PlatformFileSeekFromEnd(int64_t handle, int64_t offset, int64_t* position) {
  int descriptor = Descriptor(handle);
  if (descriptor < 0) return -1;
  off_t reached = lseek(descriptor, static_cast<off_t>(offset), SEEK_END);
  if (reached < 0) return -1;
  if (position != nullptr) *position = static_cast<int64_t>(reached);
  return 0;
}

int32_t PlatformFileSeekFromStart(int64_t handle, int64_t offset) {
  int descriptor = Descriptor(handle);
  if (descriptor < 0) return -1;
  return lseek(descriptor, static_cast<off_t>(offset), SEEK_SET) < 0 ? -1 : 0;
}

int32_t PlatformFileWrite(int64_t handle, const void* data, int64_t length) {
  int descriptor = Descriptor(handle);
  if (descriptor < 0 || (data == nullptr && length > 0)) return -1;
  const char* bytes = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t written = write(descriptor, bytes, static_cast<size_t>(length));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return -1;
    bytes += written;
    length -= written;
  }
  return 0;
}

int32_t PlatformFileClose(int64_t handle) {
  int descriptor = Descriptor(handle);
  if (descriptor < 0) return -1;
  return close(descriptor) == 0 ? 0 : -1;
}

// ---- File search ----

namespace {

bool IsDirectory(const char* path) {
  struct stat info{};
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int32_t PlatformFindFirst(const char* pattern, PlatformFileSearch* search, PlatformFoundEntry* entry) {
  if (pattern == nullptr || pattern[0] == '\0' || search == nullptr) return -1;
  search->matches = nullptr;
  search->next = 0;
  glob_t* matches = static_cast<glob_t*>(calloc(1, sizeof(glob_t)));
  if (matches == nullptr) return -1;
  if (glob(pattern, GLOB_NOSORT, nullptr, matches) != 0 || matches->gl_pathc == 0) {
    globfree(matches);
    free(matches);
    return -1;
  }
  search->matches = matches;
  if (PlatformFindNext(search, entry) != 0) {
    PlatformFindClose(search);
    return -1;
  }
  return 0;
}

int32_t PlatformFindNext(PlatformFileSearch* search, PlatformFoundEntry* entry) {
  if (search == nullptr || search->matches == nullptr) return -1;
  glob_t* matches = static_cast<glob_t*>(search->matches);
  if (search->next >= matches->gl_pathc) return -1;
  const char* path = matches->gl_pathv[search->next++];
  if (entry != nullptr) entry->isDirectory = IsDirectory(path);
  return 0;
}

void PlatformFindClose(PlatformFileSearch* search) {
  if (search == nullptr || search->matches == nullptr) return;
  glob_t* matches = static_cast<glob_t*>(search->matches);
  globfree(matches);
  free(matches);
  search->matches = nullptr;
  search->next = 0;
}

}  // namespace vexa
