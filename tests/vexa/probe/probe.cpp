// OMVexaProbe: a page plug-in built only for the tests, to show the support library's
// global objects from inside a loaded plug-in. Its one page describes the globals it sees
// and uses each of them once; it leaves one block in the tracker "Global" (when there is
// one) for the unload to release.
#include <stdio.h>

#include "host_api.h"
#include "plugin_entry.h"
#include "vexa_file.h"
#include "vexa_globals.h"
#include "vexa_memory.h"
#include "vexa_metrics.h"
#include "vexa_tracker.h"

OM_DEFINE_GET_PLUGIN_INFO("0.0.1%s(probe)")

OM_EXPORT int32_t Body(HostApi* api) {
  if (api == nullptr) return 0;
  vexa::VexaMemManager* manager = vexa::VexaGlobalMemManager();
  vexa::VexaMetricManager* metrics = vexa::VexaGlobalMetrics();
  vexa::VexaMemTracker* tracker = vexa::VexaGlobalTracker();

  int32_t used = 0;
  if (manager != nullptr) {
    vexa::VexaFile file(manager);
    if (file.Open(nullptr, vexa::kFileMemory) == 0 && file.WriteLine("probe") == 0 && manager->heapBlockCount == 1) {
      used += 1;
    }
  }
  if (metrics != nullptr && metrics->Add("probe", 1, 16) == 0) used += 1;
  if (tracker != nullptr && tracker->Alloc(16, "left for the unload", 0) != nullptr) used += 1;

  char text[512];
  snprintf(text, sizeof text,
           "manager=%s flags=%u pool=%u limit=%u metrics=%s heap=%d | metricsMutex=%s step=%u | tracker=%s flags=%u "
           "blocks=%d | used=%d",
           manager ? manager->name : "none", manager ? manager->flags : 0u, manager ? manager->poolSize : 0u,
           manager ? manager->poolLimit : 0u, manager ? (manager->metrics ? "set" : "none") : "-",
           manager ? manager->heapBlockCount : -1, metrics ? (metrics->mutex ? "own" : "none") : "-",
           metrics ? metrics->growthStep : 0u, tracker ? tracker->name : "none", tracker ? tracker->flags : 0u,
           tracker ? tracker->blockCount : -1, static_cast<int>(used));
  api->Respond(api, "SUCCESS", nullptr, 0, text, nullptr, 0);
  return 0;
}
