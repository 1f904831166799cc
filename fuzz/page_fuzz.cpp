// Whole conversations of one page plug-in (linked in) against the stand-in host on a
// scratch data directory: fuzzed request variables, cookies, the session cookie and the
// contents of the session the conversation continues. The host's state (and, for a target
// built with DEMO, the demo service's databases) is put back before every input, so each
// input runs alone and a finding repeats.
//
// Checked after every request: exactly one reply with one of the designed words, and no
// note in the host's log but the services this stand-in does not offer (a note is misuse
// of the host by the plug-in, or a host failure on what the plug-in passed).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "context.h"
#include "db/schema.h"
#include "conversation.h"
#include "cookie_jar.h"
#include "host.h"
#include "host_api.h"

extern "C" int32_t Body(HostApi* api);
extern "C" int32_t GetPluginInfo(PluginInfo* info);

namespace {

constexpr size_t kMaxRequests = 4;
constexpr const char* kReplyWords[] = {"SUCCESS", "FAILURE", "RELAY"};
// Host-log notes a request may leave: services this stand-in answers as a failing host.
constexpr const char* kAllowedNotes[] = {"not offered by this host"};

[[noreturn]] void Fault(const std::string& what, const omserver::RequestResult& result) {
  std::fprintf(stderr, "%s fault: %s\n", OM_FUZZ_PLUGIN, what.c_str());
  for (const std::string& line : result.hostLog) std::fprintf(stderr, "  host log: %s\n", line.c_str());
  for (const auto& reply : result.replies) {
    std::fprintf(stderr, "  reply: %s %s code %d\n", reply.call.c_str(), reply.word.value_or("<null>").c_str(), reply.code);
  }
  std::abort();
}

void Check(const omserver::RequestResult& result) {
  if (result.replies.size() != 1) Fault(std::to_string(result.replies.size()) + " replies to one request", result);
  const omserver::ReplyCall& reply = result.replies.front();
  bool designedWord = false;
  for (const char* word : kReplyWords) designedWord = designedWord || reply.word == word;
  if (!designedWord) Fault("reply word \"" + reply.word.value_or("<null>") + "\"", result);
  for (const std::string& line : result.hostLog) {
    bool allowed = false;
    for (const char* note : kAllowedNotes) allowed = allowed || line.find(note) != std::string::npos;
    if (!allowed) Fault("host log: " + line, result);
  }
}

omserver::Host& TheHost() {
  static std::filesystem::path dir = [] {
    std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::filesystem::path path = base / ("omfuzz-" + std::string(OM_FUZZ_PLUGIN) + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(path);
    std::atexit([] { std::filesystem::remove_all(dir); });
    return path;
  }();
  static omserver::Host host(dir);
  return host;
}


// The state every input starts from: host.sqlite as it was after set-up (with the demo
// service's databases when the target asks for them), restored table by table before each
// input, and the database files copied back.
struct Snapshot {
  std::filesystem::path dir;
  std::vector<std::string> tables;
};

std::vector<std::string> Tables(omserver::SqliteDb& db, const char* schema) {
  std::vector<std::string> names;
  omserver::Statement statement = db.prepare(std::string("SELECT name FROM ") + schema +
                                             ".sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%'");
  while (statement.step()) names.push_back(statement.columnText(0));
  return names;
}

Snapshot& TakeSnapshot(omserver::Host& host) {
  static Snapshot snapshot;
  snapshot.dir = host.dataDir().string() + "-snapshot";
  std::filesystem::remove_all(snapshot.dir);
  std::filesystem::create_directories(snapshot.dir);
  for (const auto& entry : std::filesystem::directory_iterator(host.dataDir())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("db", 0) == 0) std::filesystem::copy_file(entry.path(), snapshot.dir / name);
  }
  const std::string state = (snapshot.dir / "host-state.sqlite").string();
  host.withState([&](omserver::SqliteDb& db) {
    db.exec("VACUUM INTO '" + state + "'");
    db.exec("ATTACH DATABASE '" + state + "' AS snapshot");
    snapshot.tables = Tables(db, "snapshot");
  });
  return snapshot;
}

void ResetState(omserver::Host& host, const Snapshot& snapshot) {
  host.withState([&](omserver::SqliteDb& db) {
    db.exec("BEGIN");
    for (const std::string& table : Tables(db, "main")) db.exec("DELETE FROM main.\"" + table + "\"");
    for (const std::string& table : snapshot.tables) {
      db.exec("INSERT INTO main.\"" + table + "\" SELECT * FROM snapshot.\"" + table + "\"");
    }
    db.exec("COMMIT");
  });
  for (const auto& entry : std::filesystem::directory_iterator(host.dataDir())) {
    if (entry.path().filename().string().rfind("db", 0) == 0) std::filesystem::remove(entry.path());
  }
  for (const auto& entry : std::filesystem::directory_iterator(snapshot.dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("db", 0) == 0) std::filesystem::copy_file(entry.path(), host.dataDir() / name);
  }
}

const Snapshot& StartingState() {
  static const Snapshot& snapshot = []() -> const Snapshot& {
    omserver::Host& host = TheHost();
    host.setConfig("seed", std::string("1"));
    host.setClock(1700000000);
    // Scratch state on a memory file system: no need to wait for the disk.
    host.withState([](omserver::SqliteDb& db) { db.exec("PRAGMA synchronous=OFF"); });
#if OM_FUZZ_DEMO
    omserver::db::FillDemo(host);
#endif
    return TakeSnapshot(host);
  }();
  return snapshot;
}

// Stores the session the conversation continues, as an earlier request would have left it.
void PlantSession(omserver::Host& host, omserver::CookieJar& jar, const omfuzz::Conversation& conversation) {
  constexpr char kId[] = "S0000990000000000000099";
  const std::string tag = OM_FUZZ_TAG;
  if (tag.empty() || conversation.session.empty()) return;
  host.withState([&](omserver::SqliteDb& db) {
    db.prepare("INSERT INTO sessions (kind, tag, key, created, updated) VALUES (0, ?, ?, 0, 0)").bind(1, tag).bind(2, kId).run();
    for (const auto& [name, value] : conversation.session) {
      db.prepare("INSERT INTO session_vars (kind, tag, key, name, value) VALUES (0, ?, ?, ?, ?)")
          .bind(1, tag).bind(2, kId).bind(3, name).bind(4, value).run();
    }
  });
  jar.set(OM_FUZZ_COOKIE, kId);
}

omserver::RequestResult Run(omserver::Host& host, omserver::CookieJar& jar, omserver::RequestSpec incoming) {
  for (const auto& [name, value] : jar.cookies()) {
    bool given = false;
    for (const auto& [known, unused] : incoming.cookies) given = given || known == name;
    if (!given) incoming.cookies.emplace_back(name, value);
  }
  incoming.pageUrl = std::string("/") + OM_FUZZ_PLUGIN;
  omserver::RequestResult result;
  {
    omserver::RequestState state(host, incoming, result);
    omserver::RequestContext context{};
    context.state = &state;
    omserver::FillHostApi(context);
    result.bodyResult = Body(&context.api);
    omserver::FinishSessions(state);
    omserver::FinishDatabases(state);
    omserver::FinishServices(state);
  }
  jar.absorb(result);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  omfuzz::Conversation conversation =
      omfuzz::ParseConversation(std::string_view(reinterpret_cast<const char*>(data), size), kMaxRequests);
  omserver::Host& host = TheHost();
  ResetState(host, StartingState());
  omserver::CookieJar jar;
  PlantSession(host, jar, conversation);
  for (omserver::RequestSpec& incoming : conversation.requests) Check(Run(host, jar, std::move(incoming)));
  return 0;
}
