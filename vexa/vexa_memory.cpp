#include "vexa_memory.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vexa_file.h"
#include "vexa_metrics.h"
#include "vexa_platform.h"
#include "vexa_text.h"

namespace vexa {

namespace {

// The data of a block: lead guard, caller's bytes, trailing guard, tag text.
char* DataOf(VexaBlock* block) { return reinterpret_cast<char*>(block) + kBlockHeaderSize; }
char* CallerOf(VexaBlock* block) { return DataOf(block) + 4; }
char* EndOf(VexaBlock* block) { return DataOf(block) + block->dataLength; }

uint32_t ReadGuard(const char* at) {
  uint32_t word;
  memcpy(&word, at, sizeof word);
  return word;
}

void WriteGuard(char* at) {
  uint32_t word = kGuardWord;
  memcpy(at, &word, sizeof word);
}

uint32_t NextId(VexaMemManager* manager) {
  manager->lastId += 1;
  if (manager->lastId == 0) manager->lastId = 1;
  return manager->lastId;
}

void AddBytes(uint32_t& now, uint32_t& peak, uint32_t size) {
  now += size;
  if (now > peak) peak = now;
}

// ---- Pool lists ----

void UnlinkFree(VexaPool* pool, VexaBlock* block) {
  if (block->previous) block->previous->next = block->next; else pool->firstFree = block->next;
  if (block->next) block->next->previous = block->previous; else pool->lastFree = block->previous;
  block->previous = block->next = nullptr;
  pool->freeCount -= 1;
}

// Inserts block into the free list after the given block (at the head when after is null).
void LinkFreeAfter(VexaPool* pool, VexaBlock* after, VexaBlock* block) {
  block->previous = after;
  block->next = after ? after->next : pool->firstFree;
  if (block->next) block->next->previous = block; else pool->lastFree = block;
  if (after) after->next = block; else pool->firstFree = block;
  pool->freeCount += 1;
}

void UnlinkUsed(VexaPool* pool, VexaBlock* block) {
  if (block->previous) block->previous->next = block->next; else pool->firstUsed = block->next;
  if (block->next) block->next->previous = block->previous; else pool->lastUsed = block->previous;
  block->previous = block->next = nullptr;
  pool->usedCount -= 1;
}

void AppendUsed(VexaPool* pool, VexaBlock* block) {
  block->next = nullptr;
  block->previous = pool->lastUsed;
  if (pool->lastUsed) pool->lastUsed->next = block; else pool->firstUsed = block;
  pool->lastUsed = block;
  pool->usedCount += 1;
}

// Inserts block into the address list after the given block.
void LinkAddressAfter(VexaPool* pool, VexaBlock* after, VexaBlock* block) {
  block->previousInAddress = after;
  block->nextInAddress = after->nextInAddress;
  if (block->nextInAddress) block->nextInAddress->previousInAddress = block; else pool->lastBlock = block;
  after->nextInAddress = block;
  pool->blockCount += 1;
}

void UnlinkAddress(VexaPool* pool, VexaBlock* block) {
  if (block->previousInAddress) block->previousInAddress->nextInAddress = block->nextInAddress;
  else pool->firstBlock = block->nextInAddress;
  if (block->nextInAddress) block->nextInAddress->previousInAddress = block->previousInAddress;
  else pool->lastBlock = block->previousInAddress;
  pool->blockCount -= 1;
}

// Folds second (which begins where first ends) into first; both are free.
void MergeFree(VexaPool* pool, VexaBlock* first, VexaBlock* second) {
  UnlinkFree(pool, second);
  UnlinkAddress(pool, second);
  first->dataLength += second->dataLength + kBlockHeaderSize;
}

// ---- Heap list ----

void AppendHeap(VexaMemManager* manager, VexaBlock* block) {
  block->next = nullptr;
  block->previous = manager->lastHeapBlock;
  if (manager->lastHeapBlock) manager->lastHeapBlock->next = block; else manager->firstHeapBlock = block;
  manager->lastHeapBlock = block;
  manager->heapBlockCount += 1;
}

void UnlinkHeap(VexaMemManager* manager, VexaBlock* block) {
  if (block->previous) block->previous->next = block->next; else manager->firstHeapBlock = block->next;
  if (block->next) block->next->previous = block->previous; else manager->lastHeapBlock = block->previous;
  block->previous = block->next = nullptr;
  manager->heapBlockCount -= 1;
}

// ---- Pools ----

VexaPool* AddPool(VexaMemManager* manager) {
  void* memory = PlatformReserveMemory(manager->poolSize);
  if (memory == nullptr) return nullptr;
  VexaPool* pool = static_cast<VexaPool*>(memory);
  memset(pool, 0, kPoolHeaderSize);
  pool->manager = manager;
  pool->poolSize = manager->poolSize;
  pool->previous = manager->lastPool;
  if (manager->lastPool) manager->lastPool->next = pool; else manager->firstPool = pool;
  manager->lastPool = pool;
  manager->poolCount += 1;

  VexaBlock* block = reinterpret_cast<VexaBlock*>(static_cast<char*>(memory) + kPoolHeaderSize);
  memset(static_cast<void*>(block), 0, kBlockHeaderSize);
  block->pool = pool;
  block->dataLength = manager->poolSize - kPoolOverhead;
  pool->firstBlock = pool->lastBlock = block;
  pool->blockCount = 1;
  pool->firstFree = pool->lastFree = block;
  pool->freeCount = 1;
  return pool;
}

VexaBlock* FindFree(VexaPool* from, uint32_t need) {
  for (VexaPool* pool = from; pool != nullptr; pool = pool->next) {
    for (VexaBlock* block = pool->firstFree; block != nullptr; block = block->next) {
      if (block->dataLength >= need) return block;
    }
  }
  return nullptr;
}

// First fit through the pools in creation order, adding at most one pool per request.
VexaBlock* TakeFromPools(VexaMemManager* manager, uint32_t need) {
  VexaBlock* block = FindFree(manager->firstPool, need);
  if (block == nullptr) {
    if (manager->poolLimit > 0 && static_cast<uint32_t>(manager->poolCount) >= manager->poolLimit) return nullptr;
    VexaPool* added = AddPool(manager);
    if (added == nullptr) return nullptr;
    block = FindFree(added, need);
    if (block == nullptr) return nullptr;
  }
  VexaPool* pool = block->pool;
  if (block->dataLength - need > kSplitSlack) {
    VexaBlock* rest = reinterpret_cast<VexaBlock*>(DataOf(block) + need);
    memset(static_cast<void*>(rest), 0, kBlockHeaderSize);
    rest->pool = pool;
    rest->dataLength = block->dataLength - need - kBlockHeaderSize;
    LinkAddressAfter(pool, block, rest);
    LinkFreeAfter(pool, block, rest);
    block->dataLength = need;
  }
  UnlinkFree(pool, block);
  block->id = NextId(manager);
  AppendUsed(pool, block);
  return block;
}

void ReturnToPool(VexaBlock* block) {
  VexaPool* pool = block->pool;
  UnlinkUsed(pool, block);
  block->id = 0;
  VexaBlock* before = block->previousInAddress;
  while (before != nullptr && before->id != 0) before = before->previousInAddress;
  LinkFreeAfter(pool, before, block);
  if (block->previous != nullptr && EndOf(block->previous) == reinterpret_cast<char*>(block)) {
    VexaBlock* merged = block->previous;
    MergeFree(pool, merged, block);
    block = merged;
  }
  if (block->next != nullptr && EndOf(block) == reinterpret_cast<char*>(block->next)) MergeFree(pool, block, block->next);
}

// ---- Reports ----

void WriteGuardReport(VexaMemManager* manager, VexaBlock* block, bool underrun) {
  char time[kTimeTextSize];
  TimeText(time);
  char* caller = CallerOf(block);
  const char* what = underrun ? "UNDERRUN" : "OVERRUN";
  uint64_t at = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(underrun ? caller : caller + block->size));
  char line[512];
  snprintf(line, sizeof line,
           "%s #%4d: $%16.16" PRIx64 " %8d bytes [%4dK], id=%d, \"%s\" MEMORY BUFFER %s!!! (at $%16.16" PRIx64 "!!!)",
           time, static_cast<int32_t>(block->id), static_cast<uint64_t>(reinterpret_cast<uintptr_t>(caller)),
           static_cast<int32_t>(block->size), static_cast<int32_t>((block->size + 1023u) / 1024u),
           static_cast<int32_t>(block->ownerId), block->tag, what, at);
  manager->options |= kOptionWritingReport;
  WriteReportLine(manager->reportPath, line);
  // The dump shows the caller's bytes, the trailing guard and what follows it, but never
  // more than the block holds (a short tag ends the block sooner than 8 bytes on).
  uint32_t owned = block->dataLength - 4;
  uint32_t length = block->size + 8 < owned ? block->size + 8 : owned;
  WriteReportDump(manager->reportPath, "    ", caller, static_cast<int32_t>(length), 0, 32, 1);
  manager->options &= ~static_cast<uint32_t>(kOptionWritingReport);
}

void CheckGuards(VexaMemManager* manager, VexaBlock* block) {
  if ((manager->flags & kManagerCheckGuards) == 0 || manager->reportPath[0] == '\0' ||
      (manager->options & kOptionWritingReport) != 0) {
    return;
  }
  char* caller = CallerOf(block);
  if (ReadGuard(caller - 4) != kGuardWord) {
    WriteGuardReport(manager, block, true);
  } else if (ReadGuard(caller + block->size) != kGuardWord) {
    WriteGuardReport(manager, block, false);
  }
}

void RunHooks(VexaMemManager* manager, VexaBlock* block, int32_t flags) {
  for (int32_t index = 0; index < manager->hookCount && index < kHookSlots; ++index) {
    const VexaHook& hook = manager->hooks[index];
    if (hook.callback == nullptr) continue;
    bool fires = false;
    switch (hook.type) {
      case kHookAlways: fires = true; break;
      case kHookId: fires = block->id == hook.match.number; break;
      case kHookSize: fires = block->size == hook.match.number; break;
      case kHookTag: fires = TextEqualAsciiNoCase(hook.match.text, block->tag) != 0; break;
      default: break;
    }
    if (fires) hook.callback(hook.userData, hook.type, manager, static_cast<int32_t>(block->size), flags, block->tag);
  }
}

}  // namespace

uint32_t BlockNeed(int64_t size, int64_t tagLength) {
  if (size < 0 || tagLength < 0) return 0;
  uint64_t raw = static_cast<uint64_t>(size) + static_cast<uint64_t>(tagLength) + 9u;
  uint64_t stride = (kBlockHeaderSize + raw + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
  uint64_t need = stride - kBlockHeaderSize;
  // Keep every count of the manager within 32 bits.
  return need > 0x7FFFFFFFu - kPoolOverhead ? 0 : static_cast<uint32_t>(need);
}

VexaBlock* BlockOf(void* address) {
  return address == nullptr ? nullptr
                            : reinterpret_cast<VexaBlock*>(static_cast<char*>(address) - 4 - kBlockHeaderSize);
}

VexaMemManager::VexaMemManager(const char* name, uint32_t flags, uint32_t poolSize, uint32_t poolLimit,
                               VexaMetricManager* metrics) {
  memset(static_cast<void*>(this), 0, sizeof *this);
  Init(name, flags, poolSize, poolLimit, metrics);
}

VexaMemManager::~VexaMemManager() {
  mutex.Close();
  // The manager's blocks point back to it, so none may outlive it: its pools go back to
  // the system with it.
  VexaPool* pool = firstPool;
  while (pool != nullptr) {
    VexaPool* next = pool->next;
    PlatformReleaseMemory(pool, pool->poolSize);
    pool = next;
  }
  firstPool = lastPool = nullptr;
  poolCount = 0;
}

int32_t VexaMemManager::Init(const char* newName, uint32_t newFlags, uint32_t newPoolSize, uint32_t newPoolLimit,
                             VexaMetricManager* newMetrics) {
  mutex.Close();
  memset(static_cast<void*>(this), 0, sizeof *this);
  TextCopyN(name, sizeof name, newName);
  flags = newFlags;
  poolSize = newPoolSize < kSmallestPoolSize ? kSmallestPoolSize : newPoolSize;
  poolLimit = newPoolLimit;
  metrics = newMetrics;
  return mutex.Create(1);
}

int32_t VexaMemManager::SetReportPath(const char* path) {
  if (TextLength(path) >= kManagerTextSize) return -1;
  TextCopyN(reportPath, sizeof reportPath, path);
  return 0;
}

void VexaMemManager::SetOptions(uint32_t newOptions) { options = newOptions & kOptionAlwaysPool; }
void VexaMemManager::SetAllocOverride(VexaAllocOverride override) { allocOverride = override; }
void VexaMemManager::SetReleaseOverride(VexaReleaseOverride override) { releaseOverride = override; }

int32_t VexaMemManager::AddHook(int32_t type, VexaHookCallback callback, void* userData, uint32_t match) {
  if (hookCount >= kHookSlots) return -1;
  VexaHook& hook = hooks[hookCount++];
  hook.type = type;
  hook.callback = callback;
  hook.userData = userData;
  hook.match.number = match;
  return 0;
}

int32_t VexaMemManager::AddTagHook(VexaHookCallback callback, void* userData, const char* tag) {
  if (hookCount >= kHookSlots) return -1;
  VexaHook& hook = hooks[hookCount++];
  hook.type = kHookTag;
  hook.callback = callback;
  hook.userData = userData;
  hook.match.text = tag;
  return 0;
}

void VexaMemManager::ClearHooks() {
  memset(hooks, 0, sizeof hooks);
  hookCount = 0;
}

void* Alloc(VexaMemManager* manager, int32_t size, int32_t flags, const char* tag) {
  if (tag == nullptr) tag = "";
  if (size < 0) size = 0;
  bool locked = manager != nullptr && (manager->flags & kManagerLock) != 0 && manager->mutex.Lock(kWaitForever) == 0;
  if (manager != nullptr && (manager->options & kOptionAlwaysPool) != 0) flags |= kAllocPool;

  if (manager != nullptr && manager->allocOverride != nullptr) {
    void* result = manager->allocOverride(manager, size, flags, tag);
    if (locked) manager->mutex.Unlock();
    if (result != nullptr && (flags & kAllocZero) != 0) memset(result, 0, static_cast<size_t>(size));
    return result;
  }

  uint32_t start = PlatformTickCount();
  int32_t tagLength = TextLength(tag);
  uint32_t need = BlockNeed(size, tagLength);
  VexaBlock* block = nullptr;
  if (need != 0 && manager != nullptr && (flags & (kAllocPool | kAllocPoolOnly)) != 0 &&
      manager->poolSize >= need + kPoolOverhead) {
    block = TakeFromPools(manager, need);
  }
  if (block == nullptr && need != 0 && (flags & kAllocPoolOnly) == 0) {
    // A heap block holds its whole data length, so its end is as certain as a pool block's.
    block = static_cast<VexaBlock*>(malloc(kBlockHeaderSize + need));
    if (block != nullptr) {
      memset(static_cast<void*>(block), 0, kBlockHeaderSize);
      block->dataLength = need;
    }
  }
  if (block == nullptr) {
    if (locked) manager->mutex.Unlock();
    return nullptr;
  }

  // A pool block keeps its data length: a block taken whole keeps its slack, so it still
  // ends where its neighbour begins and merges with it on release.
  char* caller = CallerOf(block);
  block->manager = manager;
  block->size = static_cast<uint32_t>(size);
  block->ownerId = 0;
  WriteGuard(caller - 4);
  WriteGuard(caller + size);
  block->tag = caller + size + 4;
  memcpy(block->tag, tag, static_cast<size_t>(tagLength) + 1);
  // The rest of the data (alignment and a pool block's slack) is zeroed, so a report's dump
  // never shows stale bytes.
  char* tagEnd = block->tag + tagLength + 1;
  if (tagEnd < EndOf(block)) memset(tagEnd, 0, static_cast<size_t>(EndOf(block) - tagEnd));
  block->tick = start;

  if (manager != nullptr) {
    if (block->pool == nullptr) {
      block->id = NextId(manager);
      AppendHeap(manager, block);
    }
    uint32_t elapsed = PlatformTickCount() - start;
    if (elapsed > manager->longestAllocation) manager->longestAllocation = elapsed;
    if (block->pool != nullptr) {
      AddBytes(block->pool->bytesInUse, block->pool->peakBytesInUse, block->size);
      AddBytes(manager->poolBytes, manager->peakPoolBytes, block->size);
    } else {
      AddBytes(manager->heapBytes, manager->peakHeapBytes, block->size);
    }
    AddBytes(manager->totalBytes, manager->peakTotalBytes, block->size);
    if (manager->metrics != nullptr && (manager->flags & kManagerMetrics) != 0) {
      manager->metrics->Add(block->tag, 1, size);
    }
    RunHooks(manager, block, flags);
  } else {
    block->id = 0;
  }

  if (locked) manager->mutex.Unlock();
  if ((flags & kAllocZero) != 0) memset(caller, 0, static_cast<size_t>(size));
  return caller;
}

void Free(void* address) {
  if (address == nullptr) return;
  VexaBlock* block = BlockOf(address);
  VexaMemManager* manager = block->manager;
  bool locked = manager != nullptr && (manager->flags & kManagerLock) != 0 && manager->mutex.Lock(kWaitForever) == 0;
  if (manager != nullptr && manager->releaseOverride != nullptr) {
    manager->releaseOverride(manager, address);
    if (locked) manager->mutex.Unlock();
    return;
  }
  if (block->pool != nullptr && block->id == 0) {
    if (locked) manager->mutex.Unlock();
    return;
  }
  // An overrun may have eaten the tag's zero; the tag must still end within the block.
  EndOf(block)[-1] = '\0';

  if (manager != nullptr) {
    CheckGuards(manager, block);
    if (block->pool != nullptr) {
      block->pool->bytesInUse -= block->size;
      manager->poolBytes -= block->size;
    } else {
      manager->heapBytes -= block->size;
    }
    manager->totalBytes -= block->size;
    if (manager->metrics != nullptr && (manager->flags & kManagerMetrics) != 0) {
      manager->metrics->Add(block->tag, -1, -static_cast<int32_t>(block->size));
    }
  }
  if (block->pool != nullptr) {
    ReturnToPool(block);
  } else {
    if (manager != nullptr) UnlinkHeap(manager, block);
    free(block);
  }
  if (locked) manager->mutex.Unlock();
}

}  // namespace vexa
