#include "cli_db.h"

#include <iostream>

#include "db/faults.h"
#include "db/schema.h"
#include "host.h"

namespace omserver::cli {
namespace {

int32_t Integer(const std::string& text, const char* what) {
  try {
    size_t used = 0;
    long value = std::stol(text, &used);
    if (used == text.size() && value >= INT32_MIN && value <= INT32_MAX) return static_cast<int32_t>(value);
  } catch (const std::exception&) {
  }
  throw UsageError(std::string(what) + " needs a number, not \"" + text + "\"");
}

bool OnOff(const std::string& text) {
  if (text == "on") return true;
  if (text == "off") return false;
  throw UsageError("expected on or off, not \"" + text + "\"");
}

}  // namespace

int RunInitDb(const Args& args) {
  std::string dataDir = "data";
  bool demo = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data") {
      dataDir = TakeValue(args, i);
    } else if (args[i] == "--demo") {
      demo = true;
    } else {
      throw UsageError("unknown option " + args[i]);
    }
  }
  Host host(dataDir);
  db::CreateDatabases(host);
  std::cout << "databases db1, db2, db6, db7, db8 ready in " << host.dataDir().string() << "\n";
  if (demo) std::cout << db::FillDemo(host) << "\n";
  return 0;
}

int RunDbFault(const Args& args) {
  std::string dataDir = "data";
  Args words;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data") {
      dataDir = TakeValue(args, i);
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.empty()) throw UsageError("which fault? offline, open, execute, next-result, list or clear");
  Host host(dataDir);
  const std::string& what = words[0];
  auto need = [&](size_t count) {
    if (words.size() != count + 1) throw UsageError(what + " takes " + std::to_string(count) + " value(s)");
  };
  if (what == "offline") {
    need(1);
    SetDatabasesOffline(host, OnOff(words[1]));
  } else if (what == "open") {
    need(2);
    int32_t database = Integer(words[1], "open DB");
    SetDbOpenFault(host, database, words[2] == "off" ? std::nullopt : std::optional<int32_t>(Integer(words[2], "open DB ERROR")));
  } else if (what == "execute") {
    need(2);
    SetDbExecuteFault(host, words[1], OnOff(words[2]));
  } else if (what == "next-result") {
    need(2);
    std::optional<int32_t> k;
    if (words[2] != "off") {
      k = Integer(words[2], "next-result TAG K");
      if (*k < 1) throw UsageError("next-result TAG K counts from 1");
    }
    SetDbNextResultFault(host, words[1], k);
  } else if (what == "clear") {
    need(0);
    ClearDbFaults(host);
  } else if (what != "list") {
    throw UsageError("unknown fault " + what);
  }
  std::vector<std::string> faults = ListDbFaults(host);
  if (faults.empty()) std::cout << "no database faults\n";
  for (const std::string& line : faults) std::cout << line << "\n";
  return 0;
}

}  // namespace omserver::cli
