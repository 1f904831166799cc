#include "vexa_globals.h"

#include <atomic>

namespace vexa {

namespace {
std::atomic<VexaMemManager*> gManager{nullptr};
std::atomic<VexaMetricManager*> gMetrics{nullptr};
std::atomic<VexaMemTracker*> gTracker{nullptr};
}  // namespace

VexaMemManager* VexaGlobalMemManager() { return gManager.load(); }
VexaMetricManager* VexaGlobalMetrics() { return gMetrics.load(); }
VexaMemTracker* VexaGlobalTracker() { return gTracker.load(); }

void RegisterGlobalCore(VexaMemManager* manager, VexaMetricManager* metrics) {
  gManager.store(manager);
  gMetrics.store(metrics);
}

void RegisterGlobalTracker(VexaMemTracker* tracker) { gTracker.store(tracker); }

}  // namespace vexa
