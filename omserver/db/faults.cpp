#include "db/faults.h"

#include "host.h"

namespace omserver {
namespace {

// Names of the configuration entries; a tag follows the prefix as it is.
const char kOffline[] = "db.offline";
const char kOpenPrefix[] = "db.open-error.";
const char kExecutePrefix[] = "db.execute-fails.";
const char kNextResultPrefix[] = "db.next-result-fails.";

std::optional<int32_t> Number(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  try {
    return static_cast<int32_t>(std::stol(*text));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::optional<std::string> Text(std::optional<int32_t> number) {
  if (!number) return std::nullopt;
  return std::to_string(*number);
}

}  // namespace

bool DatabasesOffline(Host& host) { return host.config(kOffline).has_value(); }
void SetDatabasesOffline(Host& host, bool offline) {
  host.setConfig(kOffline, offline ? std::optional<std::string>("1") : std::nullopt);
}

void SetDbOpenFault(Host& host, int32_t database, std::optional<int32_t> error) {
  host.setConfig(kOpenPrefix + std::to_string(database), Text(error));
}
std::optional<int32_t> DbOpenFault(Host& host, int32_t database) {
  return Number(host.config(kOpenPrefix + std::to_string(database)));
}

void SetDbExecuteFault(Host& host, const std::string& tag, bool fail) {
  host.setConfig(kExecutePrefix + tag, fail ? std::optional<std::string>("1") : std::nullopt);
}
bool DbExecuteFault(Host& host, const std::string& tag) { return host.config(kExecutePrefix + tag).has_value(); }

void SetDbNextResultFault(Host& host, const std::string& tag, std::optional<int32_t> k) {
  host.setConfig(kNextResultPrefix + tag, Text(k));
}
std::optional<int32_t> DbNextResultFault(Host& host, const std::string& tag) {
  return Number(host.config(kNextResultPrefix + tag));
}

std::vector<std::string> ListDbFaults(Host& host) {
  return host.withState([](SqliteDb& db) {
    std::vector<std::string> lines;
    Statement entries = db.prepare("SELECT name, value FROM config WHERE name LIKE 'db.%' ORDER BY name");
    while (entries.step()) {
      std::string name = entries.columnText(0), value = entries.columnText(1);
      auto after = [&](const std::string& prefix) { return name.substr(prefix.size()); };
      if (name == kOffline) {
        lines.push_back("offline");
      } else if (name.rfind(kOpenPrefix, 0) == 0) {
        lines.push_back("open " + after(kOpenPrefix) + " " + value);
      } else if (name.rfind(kExecutePrefix, 0) == 0) {
        lines.push_back("execute " + after(kExecutePrefix));
      } else if (name.rfind(kNextResultPrefix, 0) == 0) {
        lines.push_back("next-result " + after(kNextResultPrefix) + " " + value);
      }
    }
    return lines;
  });
}

void ClearDbFaults(Host& host) {
  host.withState([](SqliteDb& db) { db.exec("DELETE FROM config WHERE name LIKE 'db.%'"); });
}

}  // namespace omserver
