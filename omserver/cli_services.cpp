// The omserver subcommands of the host's other services: each sets up one service in the
// data directory's host.sqlite or lists, as JSON, what the service kept.
#include <iostream>

#include <nlohmann/json.hpp>

#include "cli.h"
#include "host.h"
#include "services/commands.h"
#include "services/event_records.h"
#include "services/services.h"

namespace omserver::cli {
namespace {

using Json = nlohmann::ordered_json;
using namespace omserver::services;

// The words of a subcommand with its "--data DIR" taken out.
struct Command {
  std::string dataDir = "data";
  Args words;
  const std::string& word(size_t i, const char* what) const {
    if (i >= words.size()) throw UsageError(std::string("missing ") + what);
    return words[i];
  }
  void expect(size_t count) const {
    if (words.size() > count) throw UsageError("unexpected \"" + words[count] + "\"");
  }
};

Command Parse(const Args& args) {
  Command command;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data") {
      command.dataDir = TakeValue(args, i);
    } else {
      command.words.push_back(args[i]);
    }
  }
  return command;
}

int64_t Number(const std::string& what, const std::string& text, int64_t low = INT32_MIN, int64_t high = INT32_MAX) {
  try {
    size_t used = 0;
    long long value = std::stoll(text, &used, 0);
    if (used == text.size() && value >= low && value <= high) return value;
  } catch (const std::exception&) {
  }
  throw UsageError(what + " needs a number from " + std::to_string(low) + " to " + std::to_string(high) + ", not \"" + text + "\"");
}

int32_t Int(const std::string& what, const std::string& text) { return static_cast<int32_t>(Number(what, text)); }

bool OnOff(const std::string& text) {
  if (text == "on") return true;
  if (text == "off") return false;
  throw UsageError("expected on or off, not \"" + text + "\"");
}

int Print(const Json& json) {
  std::cout << json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  return 0;
}

[[noreturn]] void UnknownVerb(const std::string& verb) { throw UsageError("unknown action \"" + verb + "\""); }

}  // namespace

int RunMail(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::array();
    for (const StoredMail& mail : Mails(host)) {
      out.push_back({{"id", mail.id}, {"request", mail.request}, {"at", mail.at}, {"to", mail.to}, {"subject", mail.subject},
                     {"body", mail.body}, {"sent", mail.sent}, {"reason", mail.reason}});
    }
    return Print(out);
  }
  if (verb == "clear") {
    command.expect(1);
    ClearMails(host);
  } else if (verb == "fail-from") {
    command.expect(2);
    SetMailFailFrom(host, static_cast<int32_t>(Number("fail-from", command.word(1, "N"), 1, INT32_MAX)));
  } else if (verb == "fail-off") {
    command.expect(1);
    SetMailFailFrom(host, std::nullopt);
  } else {
    UnknownVerb(verb);
  }
  return 0;
}

int RunLog(const Args& args) {
  Command command = Parse(args);
  if (command.word(0, "action") != "list") UnknownVerb(command.words[0]);
  command.expect(1);
  Host host(command.dataDir);
  Json out = Json::array();
  for (const StoredLogEntry& entry : EventLog(host)) {
    out.push_back({{"id", entry.id}, {"request", entry.request}, {"at", entry.at}, {"accountId", entry.accountId},
                   {"characterId", entry.characterId}, {"tag", entry.tag}, {"detail", entry.detail}});
  }
  return Print(out);
}

int RunRecords(const Args& args) {
  Command command = Parse(args);
  if (command.word(0, "action") != "list") UnknownVerb(command.words[0]);
  command.expect(1);
  Host host(command.dataDir);
  Json out = Json::array();
  for (const StoredEventRecord& record : EventRecords(host)) {
    out.push_back({{"id", record.id}, {"request", record.request}, {"at", record.at}, {"record", EventRecordJson(record.raw)}});
  }
  return Print(out);
}

int RunFailures(const Args& args) {
  Command command = Parse(args);
  if (command.word(0, "action") != "list") UnknownVerb(command.words[0]);
  command.expect(1);
  Host host(command.dataDir);
  Json out = Json::array();
  for (const StoredFailure& failure : NotedFailures(host)) {
    out.push_back({{"id", failure.id}, {"request", failure.request}, {"at", failure.at}, {"page", failure.page}});
  }
  return Print(out);
}

int RunSwitch(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::object();
    for (const auto& [feature, state] : FeatureSwitches(host)) out[std::to_string(feature)] = SwitchName(state);
    return Print(out);
  }
  if (verb == "set") {
    command.expect(3);
    std::optional<SwitchState> state = ParseSwitch(command.word(2, "on, off or unreadable"));
    if (!state) throw UsageError("a switch is on, off or unreadable, not \"" + command.words[2] + "\"");
    SetFeatureSwitch(host, Int("FEATURE", command.word(1, "FEATURE")), state);
  } else if (verb == "clear") {
    command.expect(2);
    SetFeatureSwitch(host, Int("FEATURE", command.word(1, "FEATURE")), std::nullopt);
  } else {
    UnknownVerb(verb);
  }
  return 0;
}

int RunScreen(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    return Print(Json(ScreenedNames(host)));
  }
  command.expect(2);
  if (verb == "add") {
    AddScreenedName(host, command.word(1, "NAME"));
  } else if (verb == "remove") {
    RemoveScreenedName(host, command.word(1, "NAME"));
  } else {
    UnknownVerb(verb);
  }
  return 0;
}

int RunSeed(const Args& args) {
  Command command = Parse(args);
  const std::string& seed = command.word(0, "TEXT or off");
  command.expect(1);
  Host host(command.dataDir);
  SetSeed(host, seed == "off" ? std::nullopt : std::optional<std::string>(seed));
  return 0;
}

int RunClock(const Args& args) {
  Command command = Parse(args);
  const std::string& seconds = command.word(0, "SECONDS or off");
  command.expect(1);
  Host host(command.dataDir);
  host.setClock(seconds == "off" ? std::nullopt : std::optional<int64_t>(Number("clock", seconds, 0, INT64_MAX)));
  return 0;
}

int RunHostNumber(const Args& args) {
  Command command = Parse(args);
  const std::string& number = command.word(0, "N or off");
  command.expect(1);
  Host host(command.dataDir);
  SetHostNumber(host, number == "off" ? std::nullopt : std::optional<int32_t>(Int("host-number", number)));
  return 0;
}

int RunDbOffline(const Args& args) {
  Command command = Parse(args);
  bool offline = OnOff(command.word(0, "on or off"));
  command.expect(1);
  Host host(command.dataDir);
  SetDbOffline(host, offline);
  return 0;
}

namespace {

Json ServerJson(const ServerConfig& server) {
  Json vars = Json::object();
  for (const auto& [name, value] : server.vars) vars[name] = value;
  Json fields = Json::object();
  for (const auto& [name, value] : server.fields) fields[name] = value;
  return {{"rid", server.rid}, {"gsid", server.gsid}, {"name", server.name}, {"access", server.accessText},
          {"fields", fields}, {"vars", vars}};
}

// The options of `server add` and `server set`, in the order given.
struct ServerOptions {
  std::optional<int32_t> rid;
  std::vector<std::pair<std::string, std::string>> fields;  // field name, value text
  std::vector<std::pair<std::string, std::string>> vars;
};

bool IsServerField(const std::string& name) {
  for (const std::string& field : ServerFieldNames()) {
    if (field == name) return true;
  }
  return name == "gsid" || name == "name" || name == "access";
}

// "--address 10.0.0.5:27000" gives address and port; a plain number only the address.
void AddAddress(ServerOptions& options, const std::string& prefix, const std::string& text) {
  if (text.find('.') == std::string::npos) {
    options.fields.emplace_back(prefix + "address", text);
    return;
  }
  uint32_t address = 0;
  int32_t port = 0;
  ParseClient(text, address, port);
  options.fields.emplace_back(prefix + "address", std::to_string(static_cast<int32_t>(address)));
  options.fields.emplace_back(prefix + "port", std::to_string(port));
}

ServerOptions ParseServerOptions(const Args& words) {
  ServerOptions options;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string& option = words[i];
    if (option.rfind("--", 0) != 0) throw UsageError("unexpected \"" + option + "\"");
    std::string name = option.substr(2);
    std::string value = TakeValue(words, i);
    if (name == "rid") {
      options.rid = Int("--rid", value);
    } else if (name == "var") {
      options.vars.push_back(SplitAssignment(option, value));
    } else if (name == "address") {
      AddAddress(options, "", value);
    } else if (name == "baffle") {
      AddAddress(options, "baffle-", value);
    } else if (IsServerField(name)) {
      options.fields.emplace_back(name, value);
    } else {
      throw UsageError("unknown option " + option);
    }
  }
  if (!options.rid) throw UsageError("--rid N is required");
  return options;
}

}  // namespace

int RunServer(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::array();
    for (const ServerConfig& server : Servers(host)) out.push_back(ServerJson(server));
    return Print(out);
  }
  ServerOptions options = ParseServerOptions(command.words);
  try {
    if (verb == "add") {
      ServerConfig server;
      server.rid = *options.rid;
      for (const auto& [name, value] : options.fields) {
        if (name == "gsid") {
          server.gsid = value;
        } else if (name == "name") {
          server.name = value;
        } else if (name == "access") {
          server.accessText = value;
        } else {
          server.fields[name] = Int("--" + name, value);
        }
      }
      server.vars = options.vars;
      AddServer(host, server);
    } else if (verb == "set") {
      for (const auto& [name, value] : options.fields) SetServerField(host, *options.rid, name, value);
      for (const auto& [name, value] : options.vars) SetServerVar(host, *options.rid, name, value);
    } else if (verb == "remove") {
      if (!options.fields.empty() || !options.vars.empty()) throw UsageError("server remove takes only --rid");
      if (!RemoveServer(host, *options.rid)) throw std::invalid_argument("no server with rid " + std::to_string(*options.rid));
    } else {
      UnknownVerb(verb);
    }
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
  return 0;
}

int RunAccess(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::object();
    for (const auto& [text, status] : AccessStatuses(host)) out[text] = status;
    return Print(out);
  }
  if (verb == "set") {
    command.expect(3);
    SetAccessStatus(host, command.word(1, "TEXT"), Int("STATUS", command.word(2, "STATUS")));
  } else if (verb == "clear") {
    command.expect(2);
    SetAccessStatus(host, command.word(1, "TEXT"), std::nullopt);
  } else {
    UnknownVerb(verb);
  }
  return 0;
}

int RunQueue(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  try {
    if (verb == "list") {
      std::optional<int32_t> rid;
      if (command.words.size() > 1) {
        if (command.words[1] != "--rid") throw UsageError("unexpected \"" + command.words[1] + "\"");
        rid = Int("--rid", command.word(2, "RID"));
        command.expect(3);
      }
      Json out = Json::array();
      for (const QueueEntry& entry : QueueEntries(host, rid)) {
        out.push_back({{"ticket", entry.ticket}, {"rid", entry.rid}, {"state", entry.state}, {"position", entry.position}});
      }
      return Print(out);
    }
    if (verb == "admit") {
      command.expect(2);
      std::optional<std::string> ticket = AdmitHead(host, Int("RID", command.word(1, "RID")));
      if (!ticket) throw std::invalid_argument("nobody waits in the line of server " + command.words[1]);
      std::cout << *ticket << "\n";
    } else if (verb == "places") {
      command.expect(3);
      SetFreePlaces(host, Int("RID", command.word(1, "RID")), Int("N", command.word(2, "N")));
    } else if (verb == "end") {
      command.expect(2);
      if (!EndWait(host, command.word(1, "TICKET"))) throw std::invalid_argument("no ticket " + command.words[1]);
    } else if (verb == "timeout") {
      command.expect(2);
      const std::string& seconds = command.word(1, "SECONDS or off");
      SetQueueTimeout(host, seconds == "off" ? std::nullopt : std::optional<int64_t>(Number("timeout", seconds, 0, INT64_MAX)));
    } else {
      UnknownVerb(verb);
    }
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
  return 0;
}

int RunTicket(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::array();
    for (const JoinTicketOutcome& ticket : JoinTicketRequests(host)) {
      out.push_back({{"accountId", ticket.accountId}, {"loginValue", ticket.loginValue}, {"characterId", ticket.characterId},
                     {"userId", ticket.userId}, {"rid", ticket.rid}, {"serverAddress", ticket.serverAddress},
                     {"serverPort", ticket.serverPort}, {"status", ticket.status}, {"ticket", ticket.ticket}});
    }
    return Print(out);
  }
  if (verb == "clear") {
    command.expect(1);
    SetJoinTicketAnswer(host, std::nullopt, std::nullopt);
  } else if (verb == "set") {
    std::optional<int32_t> status;
    std::optional<std::string> text;
    for (size_t i = 1; i < command.words.size(); ++i) {
      if (command.words[i] == "--status") {
        status = Int("--status", TakeValue(command.words, i));
      } else if (command.words[i] == "--text") {
        text = TakeValue(command.words, i);
      } else {
        throw UsageError("unknown option " + command.words[i]);
      }
    }
    try {
      SetJoinTicketAnswer(host, status, text);
    } catch (const std::invalid_argument& error) {
      throw UsageError(error.what());
    }
  } else {
    UnknownVerb(verb);
  }
  return 0;
}

int RunProduct(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::object();
    for (const auto& [pfid, entries] : Products(host)) {
      Json list = Json::array();
      for (const ProductFeature& entry : entries) list.push_back({{"pfid", entry.pfid}, {"features", entry.features}});
      out[std::to_string(pfid)] = list;
    }
    return Print(out);
  }
  if (verb != "set") UnknownVerb(verb);
  int32_t pfid = Int("PFID", command.word(1, "PFID"));
  std::vector<ProductFeature> entries;
  for (size_t i = 2; i < command.words.size(); ++i) {
    const std::string& entry = command.words[i];
    size_t colon = entry.find(':');
    if (colon == std::string::npos) throw UsageError("an entry is ENTRYPFID:FEATURES, not \"" + entry + "\"");
    entries.push_back({Int("ENTRYPFID", entry.substr(0, colon)), Int("FEATURES", entry.substr(colon + 1))});
  }
  SetProduct(host, pfid, entries);
  return 0;
}

int RunHosts(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "action");
  Host host(command.dataDir);
  if (verb == "list") {
    command.expect(1);
    Json out = Json::array();
    for (const HostRegistration& registration : HostRegistrations(host)) {
      out.push_back({{"accountId", registration.accountId}, {"loginValue", registration.loginValue},
                     {"pfid", registration.pfid}, {"characterId", registration.characterId},
                     {"status", registration.status}, {"hostKey", registration.hostKey}});
    }
    return Print(out);
  }
  if (verb != "status") UnknownVerb(verb);
  command.expect(2);
  const std::string& status = command.word(1, "N or off");
  SetRegisterHostStatus(host, status == "off" ? std::nullopt : std::optional<int32_t>(Int("status", status)));
  return 0;
}

int RunCodes(const Args& args) {
  Command command = Parse(args);
  if (command.word(0, "action") != "list") UnknownVerb(command.words[0]);
  command.expect(1);
  Host host(command.dataDir);
  std::optional<std::vector<std::string>> codes = LastAccountCodes(host);
  return Print(codes ? Json(*codes) : Json(nullptr));
}

int RunCipher(const Args& args) {
  Command command = Parse(args);
  const std::string& verb = command.word(0, "encode or decode");
  const std::string& key = command.word(1, "KEY");
  const std::string& text = command.word(2, "TEXT");
  command.expect(3);
  if (verb == "encode") {
    std::cout << Encipher(text, key) << "\n";
    return 0;
  }
  if (verb != "decode") UnknownVerb(verb);
  std::optional<std::string> plain = Decipher(text, key);
  if (!plain) {
    std::cerr << "omserver cipher: not a cipher text of this key\n";
    return 1;
  }
  std::cout << *plain << "\n";
  return 0;
}

int RunFail(const Args& args) {
  Command command = Parse(args);
  const std::string& slot = command.word(0, "SLOT or list");
  Host host(command.dataDir);
  if (slot == "list") {
    command.expect(1);
    Json out = Json::object();
    for (const char* const* name = kFailableSlots; *name != nullptr; ++name) {
      out[*name] = host.config(std::string("fail.") + *name).has_value();
    }
    return Print(out);
  }
  command.expect(2);
  try {
    SetSlotFailing(host, slot, OnOff(command.word(1, "on or off")));
  } catch (const std::invalid_argument& error) {
    throw UsageError(error.what());
  }
  return 0;
}

}  // namespace omserver::cli
