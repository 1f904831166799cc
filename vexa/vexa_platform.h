// The operating-system services Vexa is written against, in one small layer over POSIX:
// process-local mutexes with a time limit, reserved and committed memory, files with
// 64-bit positions and exclusive or shared opening, file search, the millisecond tick,
// the time-stamp counter and the local time. Nothing else in Vexa calls the system.
#ifndef OM_VEXA_PLATFORM_H
#define OM_VEXA_PLATFORM_H

#include <stdint.h>

namespace vexa {

// Milliseconds since the system started; wraps around after about 49 days.
uint32_t PlatformTickCount();

// The processor's time-stamp counter (or, where there is none, a monotonic nanosecond
// count): a 64-bit value that only grows.
uint64_t PlatformCycleCounter();

// The broken-down local time now. Returns 0, or -1 when the clock cannot be converted.
struct PlatformLocalTime {
  int32_t weekday;  // 0 = Sunday
  int32_t month;    // 0 = January
  int32_t day;      // 1 to 31
  int32_t hour, minute, second;
  int32_t year;     // e.g. 1980
};
int32_t PlatformGetLocalTime(PlatformLocalTime* out);

// Mutexes: unnamed, process-local, not owned after creation. A handle is a small number
// above 0, so it fits the 32-bit handle word of the compact mutex as well as the 64-bit one.
uint32_t PlatformMutexCreate();  // 0 when no mutex can be made
// Waits at most milliseconds (-1 = no limit). 0 when the mutex is now held by the caller,
// -1 on failure or time-out. A mutex whose previous owner ended while holding it is taken
// over once, made consistent, and held by the caller exactly once.
int32_t PlatformMutexLock(uint32_t handle, int32_t milliseconds);
int32_t PlatformMutexUnlock(uint32_t handle);
int32_t PlatformMutexClose(uint32_t handle);

// Memory reserved and committed for reading and writing in one step; null on failure.
void* PlatformReserveMemory(uint32_t size);
void PlatformReleaseMemory(void* address, uint32_t size);

// Files. A handle is above 0 while open. Access bits: read 1, write 2. An exclusive open
// holds an exclusive advisory lock for as long as the file is open, a shared open a shared
// one; an open that cannot get its lock at once fails, so a second exclusive writer fails
// instead of interleaving with the first.
enum : uint32_t {
  kPlatformRead = 1,
  kPlatformWrite = 2,
};
// create: make the file when it does not exist (an existing file is kept as it is).
// truncate: empty the file once its lock is held.
int64_t PlatformFileOpen(const char* path, uint32_t access, bool shared, bool create, bool truncate);
// Moves the position offset bytes from the end; stores the new position. 0 or -1.
int32_t PlatformFileSeekFromEnd(int64_t handle, int64_t offset, int64_t* position);
// Moves the position to offset from the start. 0 or -1.
int32_t PlatformFileSeekFromStart(int64_t handle, int64_t offset);
// Writes all length bytes at the position. 0 or -1.
int32_t PlatformFileWrite(int64_t handle, const void* data, int64_t length);
int32_t PlatformFileClose(int64_t handle);

// File search by a pattern with * and ? wild cards.
struct PlatformFileSearch {
  void* matches;    // the system's list of matches
  uint64_t next;    // index of the next match to hand out
};
struct PlatformFoundEntry {
  bool isDirectory;
};
// Finds the first entry matching pattern: 0 and the entry, or -1 when nothing matches (the
// search then needs no close).
int32_t PlatformFindFirst(const char* pattern, PlatformFileSearch* search, PlatformFoundEntry* entry);
// The next entry: 0, or -1 when there is none left.
int32_t PlatformFindNext(PlatformFileSearch* search, PlatformFoundEntry* entry);
void PlatformFindClose(PlatformFileSearch* search);

}  // namespace vexa

#endif
