// Defines the memory manager and metric manager of a plug-in that links Vexa. Linked into
// the plug-in as an object of its own (om_add_plugin ... VEXA), so the objects exist from
// the moment the plug-in is loaded until it is unloaded.
#include "vexa_globals.h"
#include "vexa_memory.h"
#include "vexa_metrics.h"

namespace vexa {

namespace {

struct GlobalCore {
  VexaMemManager manager{"VexaMemManagerGlobal", kManagerLock, 0, 0, nullptr};
  VexaMetricManager metrics{nullptr};

  GlobalCore() { RegisterGlobalCore(&manager, &metrics); }
  // Nothing may reach the objects through the accessors once they begin to go.
  ~GlobalCore() { RegisterGlobalCore(nullptr, nullptr); }
};

GlobalCore gCore;

}  // namespace

}  // namespace vexa
