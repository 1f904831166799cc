#include "vexa_metrics.h"

#include <string.h>

#include "vexa_memory.h"
#include "vexa_text.h"

namespace vexa {

namespace {

uint32_t ReadWord(const char* at) {
  uint32_t word;
  memcpy(&word, at, sizeof word);
  return word;
}

void WriteWord(char* at, uint32_t word) { memcpy(at, &word, sizeof word); }

// Offsets of the fields of an entry.
constexpr uint32_t kEvents = 0, kCount = 4, kBytes = 8, kNameLength = 12;

// The entry of name within the used bytes, or null. Entries whose recorded length would run
// past the used bytes end the walk.
char* FindEntry(char* buffer, uint32_t used, const char* name) {
  uint32_t at = 0;
  while (buffer != nullptr && at + kMetricEntryHead <= used) {
    char* entry = buffer + at;
    uint32_t nameLength = ReadWord(entry + kNameLength);
    if (nameLength == 0 || nameLength > used - at - kMetricEntryHead) return nullptr;
    if (entry[kMetricEntryHead + nameLength - 1] == '\0' && TextEqualAsciiNoCase(entry + kMetricEntryHead, name)) {
      return entry;
    }
    at += kMetricEntryHead + nameLength;
  }
  return nullptr;
}

}  // namespace

VexaMetricManager::VexaMetricManager(VexaMemManager* metricsManager) {
  memset(static_cast<void*>(this), 0, sizeof *this);
  Init(metricsManager);
}

VexaMetricManager::~VexaMetricManager() {
  busy = true;  // the buffer's own release is not counted into the buffer
  if (buffer != nullptr) Free(buffer);
  buffer = nullptr;
  capacity = used = free = 0;
  entryCount = 0;
  events = totalCount = totalBytes = 0;
  DeleteVexaMutex(&mutex);
}

void VexaMetricManager::Init(VexaMemManager* metricsManager) {
  busy = true;
  if (buffer != nullptr) Free(buffer);
  DeleteVexaMutex(&mutex);
  memset(static_cast<void*>(this), 0, sizeof *this);
  manager = metricsManager;
  mutex = NewVexaMutex(nullptr, 1);
  growthStep = kMetricGrowthStep;
}

int32_t VexaMetricManager::Add(const char* name, int32_t countChange, int32_t byteChange) {
  if (name == nullptr) return -1;
  bool locked = mutex != nullptr && mutex->Lock(kWaitForever) == 0;
  int32_t result = -1;
  if (!busy) {
    busy = true;
    char* entry = FindEntry(buffer, used, name);
    if (entry == nullptr) {
      uint32_t nameLength = static_cast<uint32_t>(TextLength(name)) + 1;
      uint32_t entrySize = kMetricEntryHead + nameLength;
      uint32_t step = growthStep == 0 ? kMetricGrowthStep : growthStep;
      uint64_t wanted = capacity;
      if (static_cast<uint64_t>(used) + entrySize > capacity) {
        do {
          wanted += step;
        } while (wanted < static_cast<uint64_t>(used) + entrySize);
      }
      if (wanted <= 0x7FFFFFFF && (wanted == capacity || Resize(static_cast<int32_t>(wanted)) == 0)) {
        entry = buffer + used;
        WriteWord(entry + kEvents, 0);
        WriteWord(entry + kCount, 0);
        WriteWord(entry + kBytes, 0);
        WriteWord(entry + kNameLength, nameLength);
        memcpy(entry + kMetricEntryHead, name, nameLength);
        used += entrySize;
        entryCount += 1;
        free = capacity - used;
        // A new entry counts its making as its first event whatever the change.
        if (countChange <= 0) WriteWord(entry + kEvents, 1);
      }
    }
    if (entry != nullptr) {
      WriteWord(entry + kCount, ReadWord(entry + kCount) + static_cast<uint32_t>(countChange));
      WriteWord(entry + kBytes, ReadWord(entry + kBytes) + static_cast<uint32_t>(byteChange));
      if (countChange > 0) {
        WriteWord(entry + kEvents, ReadWord(entry + kEvents) + 1);
        events += 1;
      }
      totalCount += static_cast<uint32_t>(countChange);
      totalBytes += static_cast<uint32_t>(byteChange);
      result = 0;
    }
    busy = false;
  }
  if (locked) mutex->Unlock();
  return result;
}

int32_t VexaMetricManager::Resize(int32_t newCapacity) {
  // Allocating and releasing the buffer may come back here through the memory manager's
  // report; those changes are not counted.
  bool wasBusy = busy;
  busy = true;
  int32_t result = ResizeBuffer(newCapacity);
  busy = wasBusy;
  return result;
}

int32_t VexaMetricManager::ResizeBuffer(int32_t newCapacity) {
  if (newCapacity < 1 || static_cast<uint32_t>(newCapacity) < capacity) {
    if (buffer != nullptr) Free(buffer);
    buffer = nullptr;
    capacity = used = free = 0;
    entryCount = 0;
    events = totalCount = totalBytes = 0;
    if (newCapacity < 1) return 0;
  }
  char* grown = static_cast<char*>(Alloc(manager, newCapacity, kAllocZero, "VexaMetricManager buffer"));
  if (grown == nullptr) return -1;
  if (buffer != nullptr) {
    memcpy(grown, buffer, used);
    Free(buffer);
  }
  buffer = grown;
  capacity = static_cast<uint32_t>(newCapacity);
  free = capacity - used;
  return 0;
}

int32_t VexaMetricManager::Find(const char* name, VexaMetricEntry* entry) const {
  if (name == nullptr) return -1;
  char* found = FindEntry(buffer, used, name);
  if (found == nullptr) return -1;
  if (entry != nullptr) {
    entry->events = static_cast<int32_t>(ReadWord(found + kEvents));
    entry->count = static_cast<int32_t>(ReadWord(found + kCount));
    entry->bytes = static_cast<int32_t>(ReadWord(found + kBytes));
    entry->name = found + kMetricEntryHead;
  }
  return 0;
}

}  // namespace vexa
