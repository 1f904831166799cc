// The game server's record: the host fills it for "rid" and "gsid", with the values of the
// server variables the join asks for.
#include <string.h>

#include "join_page.h"
#include "join_tables.h"
#include "replies.h"
#include "text.h"

namespace omjoin {

namespace {

constexpr int32_t kGsidSize = sizeof(ServerRecord::gsid);

// Entries the host reported; a count out of range holds only what the record has room for.
int32_t ValueCount(const ServerRecord& record) {
  if (record.count < 0) return 0;
  return record.count > ServerValueCapacity ? ServerValueCapacity : record.count;
}

// The host's texts are read as terminated within their fields, whatever it wrote.
bool NameIs(const NameValueEntry& entry, const char* name) {
  char entryName[sizeof entry.name];
  om::TextCopy(entryName, entry.name, sizeof entryName);
  return om::TextEqualNoCase(entryName, name) != 0;
}

bool HasValue(const NameValueEntry& entry) { return entry.value[0] != '\0'; }

}  // namespace

int32_t AddServerValue(ServerRecord& record, const char* name, const char* value) {
  const int32_t count = ValueCount(record);
  if (count >= ServerValueCapacity) return -1;
  om::TextCopy(record.values[count].name, name, sizeof record.values[count].name);
  om::TextCopy(record.values[count].value, value, sizeof record.values[count].value);
  record.count = count + 1;
  return 0;
}

const char* FirstServerValue(const ServerRecord& record, const char* name) {
  const int32_t count = ValueCount(record);
  for (int32_t i = 0; i < count; ++i) {
    if (NameIs(record.values[i], name) && HasValue(record.values[i])) return record.values[i].value;
  }
  return nullptr;
}

const char* LastServerValue(const ServerRecord& record, const char* name) {
  for (int32_t i = ValueCount(record) - 1; i >= 0; --i) {
    if (NameIs(record.values[i], name) && HasValue(record.values[i])) return record.values[i].value;
  }
  return nullptr;
}

int32_t LookUpServer(JoinPage& page, ServerRecord& record) {
  memset(&record, 0, sizeof record);
  record.rid = page.rid;
  om::TextCopy(record.gsid, page.gsid, kGsidSize);
  for (const char* name : kServerValueNames) AddServerValue(record, name, "");

  if (page.api->GetServerRecord(page.api, &record) < 0) return om::FailCode(page, CodeServerLookupFailed);
  // Texts the join hands on must end within their fields.
  record.gsid[kGsidSize - 1] = '\0';
  record.serverName[sizeof record.serverName - 1] = '\0';
  record.accessText[sizeof record.accessText - 1] = '\0';
  for (NameValueEntry& entry : record.values) entry.value[sizeof entry.value - 1] = '\0';
  if (record.found == 0) return om::FailCode(page, CodeServerNotFound);
  return 0;
}

}  // namespace omjoin
