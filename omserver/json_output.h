// The JSON form of a request's outcome, as `omserver request` prints it.
#ifndef OM_OMSERVER_JSON_OUTPUT_H
#define OM_OMSERVER_JSON_OUTPUT_H

#include <nlohmann/json.hpp>

#include "plugin.h"
#include "request.h"

namespace omserver {

nlohmann::ordered_json PluginJson(const Plugin& plugin);
nlohmann::ordered_json ResultJson(const Plugin& plugin, const RequestResult& result);

}  // namespace omserver

#endif
