#include "event_records.h"

#include <cstddef>
#include <cstring>

namespace omserver::services {
namespace {

struct FieldRow {
  const char* name;
  size_t offset;
  size_t size;  // 0: a 32-bit integer
};

#define OM_INT_FIELD(field) {#field, offsetof(EventRecord, field), 0}
#define OM_TEXT_FIELD(field) {#field, offsetof(EventRecord, field), sizeof(EventRecord::field)}
constexpr FieldRow kEventFields[] = {
    OM_INT_FIELD(accountId),    OM_INT_FIELD(eventCode),     OM_INT_FIELD(loginValue),   OM_TEXT_FIELD(accountName),
    OM_TEXT_FIELD(firstName),   OM_TEXT_FIELD(lastName),     OM_TEXT_FIELD(email),       OM_INT_FIELD(characterId),
    OM_TEXT_FIELD(characterName), OM_INT_FIELD(clientAddress), OM_INT_FIELD(clientPort), OM_INT_FIELD(pfid),
    OM_INT_FIELD(pfid2),        OM_TEXT_FIELD(pcid),         OM_INT_FIELD(featureMask),  OM_TEXT_FIELD(source),
    OM_TEXT_FIELD(userIdText),
};
#undef OM_INT_FIELD
#undef OM_TEXT_FIELD

}  // namespace

EventRecord DecodeEventRecord(const std::string& raw) {
  EventRecord record;
  std::memset(&record, 0, sizeof record);
  std::memcpy(&record, raw.data(), raw.size() < sizeof record ? raw.size() : sizeof record);
  return record;
}

std::vector<EventField> EventRecordFields(const std::string& raw) {
  EventRecord record = DecodeEventRecord(raw);
  const auto* bytes = reinterpret_cast<const char*>(&record);
  std::vector<EventField> fields;
  for (const FieldRow& row : kEventFields) {
    if (row.size == 0) {
      int32_t value;
      std::memcpy(&value, bytes + row.offset, sizeof value);
      fields.push_back({row.name, false, value, ""});
    } else {
      fields.push_back({row.name, true, 0, std::string(bytes + row.offset, strnlen(bytes + row.offset, row.size))});
    }
  }
  return fields;
}

nlohmann::ordered_json EventRecordJson(const std::string& raw) {
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  for (const EventField& field : EventRecordFields(raw)) {
    if (field.isText) {
      out[field.name] = field.text;
    } else {
      out[field.name] = field.number;
    }
  }
  return out;
}

}  // namespace omserver::services
