// The two exports of every plug-in. A plug-in defines its GetPluginInfo with
// OM_DEFINE_GET_PLUGIN_INFO and its Body with OM_EXPORT; nothing else leaves the library.
#ifndef OM_FRAMEWORK_PLUGIN_ENTRY_H
#define OM_FRAMEWORK_PLUGIN_ENTRY_H

#include <stdio.h>
#include <string.h>

#include "host_api.h"
#include "text.h"

#define OM_EXPORT extern "C" __attribute__((visibility("default")))

// The build letter that fills the version format of every plug-in.
#define OM_BUILD_LETTER "r"

// Defines GetPluginInfo. versionFormat is the plug-in's version format with one %s for the
// build letter; the built text is the date and time at which this plug-in was compiled.
#define OM_DEFINE_GET_PLUGIN_INFO(versionFormat)                        \
  OM_EXPORT int32_t GetPluginInfo(PluginInfo* info) {                   \
    if (info == nullptr) return -1;                                     \
    memset(info, 0, sizeof(PluginInfo));                                \
    info->interfaceId = PluginInterfaceId;                              \
    char scratch[512];                                                  \
    snprintf(scratch, sizeof scratch, "%s %s", __DATE__, __TIME__);     \
    om::TextCopy(info->built, scratch, sizeof info->built);             \
    snprintf(scratch, sizeof scratch, versionFormat, OM_BUILD_LETTER);  \
    om::TextCopy(info->version, scratch, sizeof info->version);         \
    return 0;                                                           \
  }

#endif  // OM_FRAMEWORK_PLUGIN_ENTRY_H
