// Reading a posted EventRecord field by field, as the plug-ins' records define them.
#ifndef OM_OMSERVER_SERVICES_EVENT_RECORDS_H
#define OM_OMSERVER_SERVICES_EVENT_RECORDS_H

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host_api.h"

namespace omserver::services {

struct EventField {
  const char* name;
  bool isText = false;
  int32_t number = 0;
  std::string text;  // up to its terminating zero within the field
};

// Every field of the record in layout order; a short raw text reads as zero-filled.
std::vector<EventField> EventRecordFields(const std::string& raw);
// The same as a record, for tests that compare fields directly.
EventRecord DecodeEventRecord(const std::string& raw);
nlohmann::ordered_json EventRecordJson(const std::string& raw);

}  // namespace omserver::services

#endif
