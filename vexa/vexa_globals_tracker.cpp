// Defines the block tracker "Global" of OMJoin and OMCharacter (om_add_plugin ...
// VEXA_TRACKER). Unloading releases, and so checks, every block it still tracks.
#include "vexa_globals.h"
#include "vexa_tracker.h"

namespace vexa {

namespace {

struct GlobalTracker {
  VexaMemTracker tracker{"Global", kTrackerTrack | kTrackerLock};

  GlobalTracker() { RegisterGlobalTracker(&tracker); }
  ~GlobalTracker() { RegisterGlobalTracker(nullptr); }
};

GlobalTracker gTracker;

}  // namespace

}  // namespace vexa
