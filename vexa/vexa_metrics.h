// VexaMetricManager: per allocation tag, how many allocations and bytes are live and how
// many allocations were ever made. A memory manager feeds it on every allocation and
// release when its flags ask for it. Entries are packed one after another in one buffer.
#ifndef OM_VEXA_METRICS_H
#define OM_VEXA_METRICS_H

#include <stdint.h>

#include "vexa_mutex.h"

namespace vexa {

class VexaMemManager;

constexpr uint32_t kMetricGrowthStep = 4096;
// An entry: events, count, bytes, name length with its zero (32-bit each), then the name.
constexpr uint32_t kMetricEntryHead = 16;

// One entry as read out of the buffer.
struct VexaMetricEntry {
  int32_t events;
  int32_t count;
  int32_t bytes;
  const char* name;  // inside the buffer; valid until the next change
};

class VexaMetricManager {
 public:
  explicit VexaMetricManager(VexaMemManager* manager = nullptr);
  ~VexaMetricManager();
  VexaMetricManager(const VexaMetricManager&) = delete;
  VexaMetricManager& operator=(const VexaMetricManager&) = delete;

  // Drops the buffer and mutex held, then starts afresh with a new mutex.
  void Init(VexaMemManager* manager);
  // Adds the changes to the entry of name (letters a-z folded), making it when missing.
  // -1 when name is null or the buffer cannot grow; the counters are unchanged then.
  int32_t Add(const char* name, int32_t countChange, int32_t byteChange);
  // The buffer to capacity bytes; a capacity below the current one drops every entry.
  int32_t Resize(int32_t capacity);
  // The entry of name, as Add finds it: 0, or -1 when there is none.
  int32_t Find(const char* name, VexaMetricEntry* entry) const;

  VexaMemManager* manager;
  VexaMutex* mutex;
  char* buffer;
  uint32_t capacity;
  uint32_t used;
  uint32_t free;
  int32_t entryCount;
  uint32_t growthStep;
  uint32_t events;
  uint32_t totalCount;
  uint32_t totalBytes;

 private:
  int32_t ResizeBuffer(int32_t capacity);

 public:
  // Set while Add or Resize runs, so that an Add reached again from the buffer's own allocation
  // (a memory manager that reports to this metric manager) gives up instead of recursing.
  bool busy;
};

}  // namespace vexa

#endif
