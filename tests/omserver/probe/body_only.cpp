// A library that exports Body but no GetPluginInfo: the host must refuse to load it.
#include "host_api.h"
#include "plugin_entry.h"

OM_EXPORT int32_t Body(HostApi*) { return 0; }
