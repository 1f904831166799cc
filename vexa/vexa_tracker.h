// VexaMemTracker: a light, list-based manager for blocks taken from the C heap. Each block
// has a header, the caller's bytes and a trailing guard word; on release the guard is
// checked and an OVERRUN report with a dump is appended to the tracker's report file.
#ifndef OM_VEXA_TRACKER_H
#define OM_VEXA_TRACKER_H

#include <stdint.h>

#include "vexa_mutex.h"

namespace vexa {

class VexaMemTracker;

// Tracker flags.
enum : uint32_t {
  kTrackerTrack = 0x01,  // blocks are tracked and tested on release
  kTrackerLock = 0x02,   // lock the mutex around allocation and release
};

// The header in front of a tracked block (32 bytes with 4-byte pointers).
struct VexaTrackedBlock {
  VexaMemTracker* tracker;  // null for a block that is not tracked
  VexaTrackedBlock* previous;
  VexaTrackedBlock* next;
  uint32_t size;
  uint32_t number;  // the tracker's running block number
  char* tag;  // the block's own copy, after the trailing guard
  uint32_t id;
  uint32_t spare;  // length of the tag copy
};
constexpr uint32_t kTrackedHeaderSize = sizeof(VexaTrackedBlock);
static_assert(kTrackedHeaderSize % alignof(void*) == 0, "the caller's bytes start on a pointer boundary");

constexpr int32_t kTrackerTextSize = 32;

class VexaMemTracker {
 public:
  VexaMemTracker(const char* name, uint32_t flags);
  ~VexaMemTracker();
  VexaMemTracker(const VexaMemTracker&) = delete;
  VexaMemTracker& operator=(const VexaMemTracker&) = delete;

  // Releases what is tracked, then starts afresh; returns the mutex creation result.
  int32_t Init(const char* name, uint32_t flags);
  // Releases every tracked block, the last one first.
  void FreeAll();
  // A block of size caller bytes from the C heap tagged tag (copied into the block), with id
  // for reports; tracked at the end of the list when flags bit 0 is set. Null on failure.
  void* Alloc(int32_t size, const char* tag, uint32_t id);
  // Releases a block of Alloc (of any tracker); null does nothing.
  static void Release(void* address);
  // Where overrun reports go; -1 for a path that does not fit 32 bytes; null or "" = none.
  int32_t SetReportPath(const char* path);

  char name[kTrackerTextSize];
  uint32_t flags;
  VexaMutexCompact mutex;
  VexaTrackedBlock* firstBlock;
  VexaTrackedBlock* lastBlock;
  int32_t blockCount;
  uint32_t bytes;
  char reportPath[kTrackerTextSize];
  uint32_t lastNumber;
};

}  // namespace vexa

#endif
