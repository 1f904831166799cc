// VexaMemManager: the library's memory manager for diagnostic use. Every block carries an
// allocation number, a tag naming its purpose and guard words before and after the
// caller's bytes. Blocks come from pools the manager reserves itself (first fit in address
// order, split and merged) or from the C heap. The manager keeps running and peak byte
// counts, can feed a metric manager, call hooks on allocation, and, when asked, check the
// guards on release and append an UNDERRUN or OVERRUN report with a dump to a report file.
//
// Every size is derived from the real header records: a block is its header, the lead
// guard, the caller's bytes, the trailing guard and the tag text. The caller's address
// lies block header + 4 bytes after the block and is aligned for any pointer.
#ifndef OM_VEXA_MEMORY_H
#define OM_VEXA_MEMORY_H

#include <stddef.h>
#include <stdint.h>

#include "vexa_mutex.h"

namespace vexa {

class VexaMetricManager;
class VexaMemManager;
struct VexaPool;

constexpr uint32_t kGuardWord = 0xDEADBEEFu;

// Manager flags.
enum : uint32_t {
  kManagerLock = 0x01,         // lock the mutex around every operation
  kManagerMetrics = 0x02,      // report to the metric manager
  kManagerCheckGuards = 0x04,  // check guard words on release and write reports
};
// Manager options.
enum : uint32_t {
  kOptionAlwaysPool = 0x01,       // every request may use the pools
  kOptionWritingReport = 0x02,    // internal: a report is being written
};
// Allocation flags.
enum : int32_t {
  kAllocZero = 0x01,      // zero-fill the caller's bytes
  kAllocPool = 0x02,      // a pool may serve the request
  kAllocPoolOnly = 0x04,  // only a pool may serve it
};
// Hook types.
enum : int32_t {
  kHookAlways = 1,
  kHookId = 2,
  kHookSize = 3,
  kHookTag = 4,
};

// The header in front of every block's data. It is packed to 4-byte alignment so that,
// with the lead guard, the caller's bytes start on a pointer boundary.
struct __attribute__((packed, aligned(4))) VexaBlock {
  VexaMemManager* manager;  // owner, or null
  VexaPool* pool;           // null for a heap block
  uint32_t dataLength;      // bytes of data after the header
  uint32_t size;            // caller bytes
  uint32_t id;              // allocation number; 0 = free pool block or no manager
  uint32_t ownerId;         // printed as "id=" in reports
  VexaBlock* previous;      // pool free or used list, or the manager's heap list
  VexaBlock* next;
  VexaBlock* previousInAddress;  // pool blocks only
  VexaBlock* nextInAddress;
  uint32_t tick;  // millisecond tick when the allocation started
  char* tag;      // the block's own copy of the tag text
};

// One reservation of pool-size bytes: this header, then blocks.
struct VexaPool {
  VexaMemManager* manager;
  VexaPool* previous;
  VexaPool* next;
  uint32_t poolSize;
  VexaBlock* firstBlock;  // address order
  VexaBlock* lastBlock;
  int32_t blockCount;
  VexaBlock* firstUsed;
  VexaBlock* lastUsed;
  int32_t usedCount;
  VexaBlock* firstFree;  // address order
  VexaBlock* lastFree;
  int32_t freeCount;
  uint32_t bytesInUse;
  uint32_t peakBytesInUse;
};

// Derived sizes (48, 60, 108 and 117 bytes with 4-byte pointers).
constexpr uint32_t kBlockHeaderSize = sizeof(VexaBlock);
constexpr uint32_t kPoolHeaderSize = sizeof(VexaPool);
constexpr uint32_t kBlockAlign = alignof(void*);
constexpr uint32_t kPoolOverhead = kPoolHeaderSize + kBlockHeaderSize;
constexpr uint32_t kSmallestPoolSize = kPoolOverhead + 9;
// A free block is split only when the rest can hold a header and at least 9 bytes of data.
constexpr uint32_t kSplitSlack = kBlockHeaderSize + 8;
static_assert((kBlockHeaderSize + 4) % kBlockAlign == 0, "the caller's bytes start on a pointer boundary");
static_assert(kPoolHeaderSize % kBlockAlign == 0, "the first block of a pool is aligned");

// Data bytes a block needs for size caller bytes and a tag of tagLength characters: lead
// guard, bytes, trailing guard, tag and its zero, rounded so the next block stays aligned.
// 0 when the request cannot be represented.
uint32_t BlockNeed(int64_t size, int64_t tagLength);

using VexaAllocOverride = void* (*)(VexaMemManager* manager, int32_t size, int32_t flags, const char* tag);
using VexaReleaseOverride = void (*)(VexaMemManager* manager, void* address);
using VexaHookCallback = void (*)(void* userData, int32_t type, VexaMemManager* manager, int32_t size, int32_t flags,
                                  const char* tag);

struct VexaHook {
  int32_t type;
  VexaHookCallback callback;
  void* userData;
  union {
    uint32_t number;   // kHookId, kHookSize
    const char* text;  // kHookTag
  } match;
};

constexpr int32_t kHookSlots = 16;
constexpr int32_t kManagerTextSize = 32;

class VexaMemManager {
 public:
  VexaMemManager(const char* name, uint32_t flags, uint32_t poolSize, uint32_t poolLimit, VexaMetricManager* metrics);
  ~VexaMemManager();
  VexaMemManager(const VexaMemManager&) = delete;
  VexaMemManager& operator=(const VexaMemManager&) = delete;

  // Starts a new life. Pools and blocks of an earlier life are forgotten, not returned.
  int32_t Init(const char* name, uint32_t flags, uint32_t poolSize, uint32_t poolLimit, VexaMetricManager* metrics);

  // Setters for what no allocation or release changes. SetReportPath refuses (-1) a path
  // that does not fit its 32 bytes rather than send reports to a cut name; null or ""
  // turns reports off.
  int32_t SetReportPath(const char* path);
  void SetOptions(uint32_t options);
  void SetAllocOverride(VexaAllocOverride override);
  void SetReleaseOverride(VexaReleaseOverride override);
  // Adds a hook; -1 when all 16 are taken. AddTagHook matches the tag (kHookTag); the text
  // must outlive the hook.
  int32_t AddHook(int32_t type, VexaHookCallback callback, void* userData, uint32_t match);
  int32_t AddTagHook(VexaHookCallback callback, void* userData, const char* tag);
  void ClearHooks();

  char name[kManagerTextSize];
  uint32_t flags;
  uint32_t poolSize;
  uint32_t poolLimit;
  VexaMutex mutex;
  VexaMetricManager* metrics;
  uint32_t lastId;
  uint32_t longestAllocation;
  VexaPool* firstPool;
  VexaPool* lastPool;
  int32_t poolCount;
  VexaBlock* firstHeapBlock;
  VexaBlock* lastHeapBlock;
  int32_t heapBlockCount;
  uint32_t heapBytes, peakHeapBytes;
  uint32_t poolBytes, peakPoolBytes;
  uint32_t totalBytes, peakTotalBytes;
  char reportPath[kManagerTextSize];
  uint32_t options;
  VexaAllocOverride allocOverride;
  VexaReleaseOverride releaseOverride;
  VexaHook hooks[kHookSlots];
  int32_t hookCount;
};

// Allocates size bytes tagged tag (null = ""); manager may be null (a bare heap block with
// id 0). Null when no memory can be had.
void* Alloc(VexaMemManager* manager, int32_t size, int32_t flags, const char* tag);
// Releases a block of Alloc; null does nothing; a pool block released twice is left alone.
void Free(void* address);

// The header of the block that holds address (as returned by Alloc).
VexaBlock* BlockOf(void* address);

}  // namespace vexa

#endif
