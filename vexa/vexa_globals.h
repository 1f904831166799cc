// The global objects of a plug-in that links Vexa: the memory manager
// "VexaMemManagerGlobal" (flags 1, pool size 0, no metrics), a metric manager with its own
// mutex and, in OMJoin and OMCharacter, the block tracker "Global" (flags 3). They are made
// when the plug-in is loaded and torn down when it is unloaded; a plug-in opts in with the
// VEXA or VEXA_TRACKER option of om_add_plugin, which adds the objects that define them.
// Each accessor gives null while its object does not exist (before load, after unload, or
// in a program that did not opt in).
#ifndef OM_VEXA_GLOBALS_H
#define OM_VEXA_GLOBALS_H

namespace vexa {

class VexaMemManager;
class VexaMetricManager;
class VexaMemTracker;

VexaMemManager* VexaGlobalMemManager();
VexaMetricManager* VexaGlobalMetrics();
VexaMemTracker* VexaGlobalTracker();

// Called by the defining objects only, when the objects are made and before they go.
void RegisterGlobalCore(VexaMemManager* manager, VexaMetricManager* metrics);
void RegisterGlobalTracker(VexaMemTracker* tracker);

}  // namespace vexa

#endif
