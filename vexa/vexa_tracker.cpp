#include "vexa_tracker.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "vexa_file.h"
#include "vexa_memory.h"
#include "vexa_text.h"

namespace vexa {

namespace {

char* CallerOf(VexaTrackedBlock* block) { return reinterpret_cast<char*>(block) + kTrackedHeaderSize; }

void Unlink(VexaMemTracker* tracker, VexaTrackedBlock* block) {
  if (block->previous) block->previous->next = block->next; else tracker->firstBlock = block->next;
  if (block->next) block->next->previous = block->previous; else tracker->lastBlock = block->previous;
  block->previous = block->next = nullptr;
  tracker->blockCount -= 1;
  tracker->bytes -= block->size;
}

void ReportOverrun(VexaMemTracker* tracker, VexaTrackedBlock* block) {
  char time[kTimeTextSize];
  TimeText(time);
  char* caller = CallerOf(block);
  // An overrun may have eaten the tag's zero; the tag still ends within the block.
  block->tag[block->spare] = '\0';
  char line[512];
  snprintf(line, sizeof line,
           "%s #%4ld: $%8.8lx %8ld bytes [%3ldK], id=%ld, \"%s\" MEMORY BUFFER OVERRUN!!! (at $%8.8lx!!!)", time,
           static_cast<long>(block->number), static_cast<unsigned long>(reinterpret_cast<uintptr_t>(caller)),
           static_cast<long>(block->size), static_cast<long>((block->size + 1023u) / 1024u),
           static_cast<long>(block->id), block->tag,
           static_cast<unsigned long>(reinterpret_cast<uintptr_t>(caller + block->size)));
  AppendLine(tracker->reportPath, line);
  DumpToPath(tracker->reportPath, "    ", caller, static_cast<int32_t>(block->size + 4), 0, 1);
}

}  // namespace

VexaMemTracker::VexaMemTracker(const char* trackerName, uint32_t trackerFlags) {
  memset(static_cast<void*>(this), 0, sizeof *this);
  Init(trackerName, trackerFlags);
}

VexaMemTracker::~VexaMemTracker() {
  FreeAll();
  mutex.Close();
}

int32_t VexaMemTracker::Init(const char* trackerName, uint32_t trackerFlags) {
  FreeAll();
  mutex.Close();
  TextCopyN(name, sizeof name, trackerName == nullptr ? "UNNAMED" : trackerName);
  flags = trackerFlags;
  int32_t result = mutex.Create(1);
  firstBlock = lastBlock = nullptr;
  blockCount = 0;
  bytes = 0;
  reportPath[0] = '\0';
  lastNumber = 0;
  return result;
}

void VexaMemTracker::FreeAll() {
  while (lastBlock != nullptr) {
    VexaTrackedBlock* block = lastBlock;
    // Release unlinks the block; should it not (its tracker field was overwritten), unlink
    // it here so the walk still ends.
    if (block->tracker != this) {
      Unlink(this, block);
      free(block);
      continue;
    }
    Release(CallerOf(block));
  }
}

int32_t VexaMemTracker::SetReportPath(const char* path) {
  if (TextLength(path) >= kTrackerTextSize) return -1;
  TextCopyN(reportPath, sizeof reportPath, path);
  return 0;
}

void* VexaMemTracker::Alloc(int32_t size, const char* tag, uint32_t id) {
  if (size < 0) size = 0;
  if (tag == nullptr) tag = "";
  size_t tagLength = static_cast<size_t>(TextLength(tag));
  if (static_cast<uint64_t>(size) + tagLength + kTrackedHeaderSize + 5 > 0x7FFFFFFFu) return nullptr;
  VexaTrackedBlock* block =
      static_cast<VexaTrackedBlock*>(malloc(kTrackedHeaderSize + static_cast<size_t>(size) + 4 + tagLength + 1));
  if (block == nullptr) return nullptr;
  char* caller = CallerOf(block);
  uint32_t guard = kGuardWord;
  memcpy(caller + size, &guard, sizeof guard);
  char* tagCopy = caller + size + 4;
  memcpy(tagCopy, tag, tagLength + 1);
  memset(static_cast<void*>(block), 0, kTrackedHeaderSize);
  block->size = static_cast<uint32_t>(size);
  block->tag = tagCopy;
  block->id = id;
  block->spare = static_cast<uint32_t>(tagLength);
  if ((flags & kTrackerTrack) == 0) return caller;

  bool locked = (flags & kTrackerLock) != 0 && mutex.Lock(kWaitForever) == 0;
  block->tracker = this;
  lastNumber += 1;
  if (lastNumber == 0) lastNumber = 1;
  block->number = lastNumber;
  block->previous = lastBlock;
  if (lastBlock) lastBlock->next = block; else firstBlock = block;
  lastBlock = block;
  blockCount += 1;
  bytes += block->size;
  if (locked) mutex.Unlock();
  return caller;
}

void VexaMemTracker::Release(void* address) {
  if (address == nullptr) return;
  VexaTrackedBlock* block = reinterpret_cast<VexaTrackedBlock*>(static_cast<char*>(address) - kTrackedHeaderSize);
  VexaMemTracker* tracker = block->tracker;
  if (tracker == nullptr) {
    free(block);
    return;
  }
  // A block that was tracked leaves the list even when tracking has been switched off
  // since, so the list never holds a released block.
  bool locked = (tracker->flags & kTrackerLock) != 0 && tracker->mutex.Lock(kWaitForever) == 0;
  if ((tracker->flags & kTrackerTrack) != 0) {
    uint32_t guard;
    memcpy(&guard, CallerOf(block) + block->size, sizeof guard);
    if (guard != kGuardWord && tracker->reportPath[0] != '\0') ReportOverrun(tracker, block);
  }
  Unlink(tracker, block);
  if (locked) tracker->mutex.Unlock();
  free(block);
}

}  // namespace vexa
