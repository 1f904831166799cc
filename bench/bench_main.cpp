// Benchmarks of every page plug-in's main requests, one row each:
//   host/PLUGIN/REQUEST     the whole request through the stand-in host (omserver::Host on a
//                           scratch data directory: sessions in SQLite)
//   memory/PLUGIN/REQUEST   the plug-in's own share: the same request against a host that
//                           answers from memory (its database answers each statement text
//                           with the results the demo databases gave for it, learned before
//                           measuring); counter "allocs" = heap allocations per request made
//                           inside Body (the memory host's slots excluded)
//   stack/PLUGIN/REQUEST/.. counter "bytes" = the deepest stack one request used, on a thread
//                           whose stack was painted beforehand (thread start-up subtracted)
// A request after others (the work request after the relay) has those run untimed first.
// `om_bench --om_smoke` runs each benchmark once (the test suite's check that they work).
#include <benchmark/benchmark.h>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "context.h"
#include "cookie_jar.h"
#include "db/connection.h"
#include "db/schema.h"
#include "host.h"
#include "memory_host.h"
#include "plugin.h"
#include "services/services.h"

namespace {

struct Var {
  int32_t scope;  // ScopeSource1, ScopeSource2, ScopeSource4 or ScopeCookie
  const char* name;
  const char* value;
};

struct BenchRequest {
  std::vector<Var> vars;
  const char* memoryWord;  // the reply word with the memory host
  const char* hostWord;    // the reply word with the stand-in host
};

struct BenchRow {
  const char* plugin;
  const char* request;
  std::vector<BenchRequest> before;  // run untimed before each measured request
  BenchRequest measured;
};

const std::vector<Var> kHostPages = {
    {ScopeSource2, "success", "/s.htm"}, {ScopeSource2, "failure", "/f.htm"}, {ScopeSource2, "msgbase", "m"},
    {ScopeSource2, "relay", "/r.htm"},   {ScopeSource2, "pfid", "5"},         {ScopeSource2, "pfid2", "0"},
    {ScopeCookie, "OMV", "31"},          {ScopeCookie, "OMI", "1001"},        {ScopeCookie, "OMD", "7"},
    {ScopeCookie, "CHAR", "Fox"},
};
const std::vector<Var> kLoginCookies = {
    {ScopeCookie, "OMV", "31"}, {ScopeCookie, "OMI", "1001"}, {ScopeCookie, "OMD", "7"}, {ScopeCookie, "CHAR", "Fox"}};

// Alice of the demo service the stand-in host is filled with (account 1, player Fox).
const std::vector<Var> kAlice = {
    {ScopeCookie, "OMV", "1001"}, {ScopeCookie, "OMI", "1"}, {ScopeCookie, "OMD", "1"}, {ScopeCookie, "CHAR", "Fox"}};
const std::vector<Var> kGetInfo = {
    {ScopeSource4, "success", "/s.htm"}, {ScopeSource4, "failure", "/f.htm"}, {ScopeSource4, "msgbase", "m"},
    {ScopeSource4, "relay", "/r.htm"},   {ScopeSource4, "action", "GetInfo"}, {ScopeCookie, "OMV", "1001"},
    {ScopeCookie, "OMI", "1"},           {ScopeCookie, "OMD", "1"},           {ScopeCookie, "CHAR", "Fox"}};
const std::vector<Var> kGet = {
    {ScopeSource2, "success", "/s.htm"}, {ScopeSource2, "failure", "/f.htm"}, {ScopeSource2, "msgbase", "m"},
    {ScopeSource2, "relay", "/r.htm"},   {ScopeSource2, "action", "GET"},     {ScopeSource2, "pfid", "27"},
    {ScopeCookie, "OMV", "1001"},        {ScopeCookie, "OMI", "1"},           {ScopeCookie, "OMD", "1"},
    {ScopeCookie, "CHAR", "Fox"}};
// A join of the game server the stand-in host is given (rid 100, the service's own).
const std::vector<Var> kJoin = {
    {ScopeSource2, "success", "/s.htm"}, {ScopeSource2, "failure", "/f.htm"}, {ScopeSource2, "msgbase", "m"},
    {ScopeSource2, "relay", "/r.htm"},   {ScopeSource2, "mode", "Login"},     {ScopeSource2, "rid", "100"},
    {ScopeCookie, "OMV", "1001"},        {ScopeCookie, "OMI", "1"},           {ScopeCookie, "OMD", "1"},
    {ScopeCookie, "CHAR", "Fox"}};

const std::vector<BenchRow>& Rows() {
  static const std::vector<BenchRow> rows = {
      {"OMPrepare", "relay",
       {},
       {{{ScopeSource2, "URL", "/next.htm"}, {ScopeSource2, "METAREFRESH", "1"}, {ScopeSource2, "GT", "7"}}, "RELAY", "RELAY"}},
      {"OMPrepare", "work",
       {},
       {{{ScopeSource2, "URL", "/next.htm"}, {ScopeSource2, "VER1", "1"}, {ScopeSource2, "VER2", "2"}, {ScopeSource2, "GT", "7"},
         {ScopeSource2, "CC", "us"}, {ScopeSource2, "PRODUCTCODE", "p"}, {ScopeSource2, "PFID", "5"}},
        "SUCCESS", "SUCCESS"}},
      {"OMHost", "relay", {}, {kHostPages, "RELAY", "RELAY"}},
      {"OMHost", "work", {{kHostPages, "RELAY", "RELAY"}}, {kLoginCookies, "SUCCESS", "SUCCESS"}},
      {"OMAccount", "relay", {}, {kGetInfo, "RELAY", "RELAY"}},
      {"OMAccount", "work", {{kGetInfo, "RELAY", "RELAY"}}, {kAlice, "SUCCESS", "SUCCESS"}},
      {"OMCharacter", "relay", {}, {kGet, "RELAY", "RELAY"}},
      {"OMCharacter", "work", {{kGet, "RELAY", "RELAY"}}, {kAlice, "SUCCESS", "SUCCESS"}},
      {"OMJoin", "relay", {}, {kJoin, "RELAY", "RELAY"}},
      {"OMJoin", "work", {{kJoin, "RELAY", "RELAY"}}, {kJoin, "SUCCESS", "SUCCESS"}},
  };
  return rows;
}

bool smoke = false;

omserver::Plugin& LoadedPlugin(const std::string& name) {
  static std::map<std::string, std::unique_ptr<omserver::Plugin>> plugins;
  auto& plugin = plugins[name];
  if (!plugin) {
    std::string error;
    plugin = omserver::Plugin::load(std::string(OM_PLUGIN_DIR) + "/" + name + ".so", error);
    if (!plugin) {
      std::fprintf(stderr, "cannot load %s: %s\n", name.c_str(), error.c_str());
      std::exit(2);
    }
  }
  return *plugin;
}

// ---- The stand-in host ---------------------------------------------------------------------

struct ScratchHost {
  std::filesystem::path dir;
  std::unique_ptr<omserver::Host> host;
  ScratchHost() {
    dir = std::filesystem::temp_directory_path() / ("ombench-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    host = std::make_unique<omserver::Host>(dir);
    omserver::db::FillDemo(*host);
    // The game server of the join rows, as the memory host describes its one server.
    omserver::services::ServerConfig server;
    server.rid = 100;
    server.gsid = "gs-alpha";
    server.name = "Alpha";
    server.fields = {{"own", 1}, {"scramble-key", 4242}, {"address", 0x0A000001}, {"port", 7000}, {"app-id", 12}};
    omserver::services::AddServer(*host, server);
  }
  ~ScratchHost() {
    host.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};
omserver::Host& TheHost() {
  static ScratchHost scratch;
  return *scratch.host;
}

omserver::RequestResult RunOnHost(const omserver::Plugin& plugin, omserver::CookieJar& jar, const BenchRequest& request) {
  omserver::RequestSpec incoming;
  incoming.pageUrl = "/" + plugin.name();
  for (const Var& var : request.vars) {
    omserver::NameValues& values = var.scope == ScopeSource1   ? incoming.source1
                                   : var.scope == ScopeSource2 ? incoming.query
                                   : var.scope == ScopeSource4 ? incoming.form
                                                               : incoming.cookies;
    values.emplace_back(var.name, var.value);
  }
  for (const auto& [name, value] : jar.cookies()) {
    bool given = false;
    for (const auto& [known, unused] : incoming.cookies) given = given || known == name;
    if (!given) incoming.cookies.emplace_back(name, value);
  }
  omserver::RequestResult result = TheHost().run(plugin, incoming);
  jar.absorb(result);
  return result;
}

bool HostReplied(const omserver::RequestResult& result, const char* word) {
  return result.replies.size() == 1 && result.replies[0].word == word;
}

void BenchHost(benchmark::State& state, const BenchRow& row) {
  omserver::Plugin& plugin = LoadedPlugin(row.plugin);
  for (auto _ : state) {
    omserver::CookieJar jar;
    if (!row.before.empty()) {
      state.PauseTiming();
      for (const BenchRequest& request : row.before) RunOnHost(plugin, jar, request);
      state.ResumeTiming();
    }
    omserver::RequestResult result = RunOnHost(plugin, jar, row.measured);
    if (!HostReplied(result, row.measured.hostWord)) {
      state.SkipWithError("not the designed reply");
      break;
    }
  }
}

// ---- The memory host -----------------------------------------------------------------------

// The memory database's teacher: each statement text it has not seen runs once on the
// demo databases of the stand-in host, on one connection per database.
bool RunOnDemoDatabases(int32_t database, const std::string& text, std::vector<ombench::MemoryResult>& results) {
  static std::map<int32_t, std::unique_ptr<omserver::db::Connection>> connections;
  try {
    auto& connection = connections[database];
    if (!connection) connection = std::make_unique<omserver::db::Connection>(TheHost(), database);
    for (const omserver::db::ResultSet& set : connection->execute(text)) {
      ombench::MemoryResult result;
      result.columns = static_cast<int32_t>(set.columns.size());
      result.changes = static_cast<int32_t>(set.changes);
      for (const auto& row : set.rows) {
        for (const omserver::db::Value& value : row) result.cells.push_back(omserver::db::ValueText(value));
      }
      results.push_back(std::move(result));
    }
    return true;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "memory database %d: the statement fails on the demo databases: %s\n", database, failure.what());
    return false;
  }
}

std::unique_ptr<ombench::MemoryHost> MakeMemoryHost() {
  auto host = std::make_unique<ombench::MemoryHost>();
  host->setStatementSource(RunOnDemoDatabases);
  return host;
}

void Load(ombench::MemoryHost& host, const omserver::Plugin& plugin, const BenchRequest& request) {
  host.setPageUrl(("/" + plugin.name()).c_str());
  host.startRequest();
  for (const Var& var : request.vars) host.add(var.scope, var.name, var.value);
}

// Runs Body, counting the allocations made inside it.
int64_t CountedBody(const omserver::Plugin& plugin, ombench::MemoryHost& host) {
  ombench::StartCountingAllocations();
  plugin.body(host.api());
  return ombench::StopCountingAllocations();
}

bool MemoryReplied(const ombench::MemoryHost& host, const char* word) {
  return host.replies() == 1 && std::strcmp(host.replyWord(), word) == 0;
}

// The whole conversation once, so that the memory database has learned every statement.
void Rehearse(ombench::MemoryHost& host, const omserver::Plugin& plugin, const BenchRow& row) {
  host.forgetSession();
  for (const BenchRequest& request : row.before) {
    Load(host, plugin, request);
    plugin.body(host.api());
  }
  Load(host, plugin, row.measured);
  plugin.body(host.api());
}

void BenchMemory(benchmark::State& state, const BenchRow& row) {
  omserver::Plugin& plugin = LoadedPlugin(row.plugin);
  auto host = MakeMemoryHost();
  int64_t allocations = 0;
  Rehearse(*host, plugin, row);
  const int32_t learned = host->statementsLearned();
  if (row.before.empty()) Load(*host, plugin, row.measured);
  for (auto _ : state) {
    if (!row.before.empty()) {
      state.PauseTiming();
      host->forgetSession();
      for (const BenchRequest& request : row.before) {
        Load(*host, plugin, request);
        plugin.body(host->api());
      }
      Load(*host, plugin, row.measured);
      state.ResumeTiming();
    } else {
      host->resetReplies();  // the same request again, as a new visitor
      host->forgetSession();
    }
    allocations += CountedBody(plugin, *host);
    if (!MemoryReplied(*host, row.measured.memoryWord)) {
      state.SkipWithError("not the designed reply");
      break;
    }
    if (host->statementsLearned() != learned) {
      state.SkipWithError("a measured request sent a statement text the rehearsal did not");
      break;
    }
  }
  state.counters["statements"] = static_cast<double>(learned);
  state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
}

// ---- The deepest stack ---------------------------------------------------------------------

constexpr size_t kStackSize = 8u << 20;
constexpr unsigned char kPaint = 0xA5;

void* RunWork(void* work) {
  (*static_cast<std::function<void()>*>(work))();
  return nullptr;
}

// Bytes of a painted stack that a thread running work touched.
size_t StackTouched(std::function<void()> work) {
  void* stack = mmap(nullptr, kStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (stack == MAP_FAILED) return 0;
  std::memset(stack, kPaint, kStackSize);
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstack(&attributes, stack, kStackSize);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, RunWork, &work) == 0) pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  const auto* bytes = static_cast<const unsigned char*>(stack);
  size_t untouched = 0;
  while (untouched < kStackSize && bytes[untouched] == kPaint) ++untouched;
  munmap(stack, kStackSize);
  return kStackSize - untouched;
}

void BenchStack(benchmark::State& state, const BenchRow& row, bool memory) {
  omserver::Plugin& plugin = LoadedPlugin(row.plugin);
  const size_t baseline = StackTouched([] {});
  size_t deepest = 0;
  bool designed = true;
  for (auto _ : state) {
    if (memory) {
      auto host = MakeMemoryHost();
      Rehearse(*host, plugin, row);
      host->forgetSession();
      for (const BenchRequest& request : row.before) {
        Load(*host, plugin, request);
        plugin.body(host->api());
      }
      Load(*host, plugin, row.measured);
      deepest = std::max(deepest, StackTouched([&] { plugin.body(host->api()); }));
      designed = designed && MemoryReplied(*host, row.measured.memoryWord);
    } else {
      omserver::CookieJar jar;
      for (const BenchRequest& request : row.before) RunOnHost(plugin, jar, request);
      omserver::RequestResult result;
      deepest = std::max(deepest, StackTouched([&] { result = RunOnHost(plugin, jar, row.measured); }));
      designed = designed && HostReplied(result, row.measured.hostWord);
    }
  }
  if (!designed) state.SkipWithError("not the designed reply");
  state.counters["bytes"] = static_cast<double>(deepest > baseline ? deepest - baseline : 0);
}

// The counter must see an allocation, or a zero it reports means nothing.
void CheckTheCounter() {
  ombench::StartCountingAllocations();
  void* probe = std::malloc(24);
  benchmark::DoNotOptimize(probe);
  int64_t counted = ombench::StopCountingAllocations();
  std::free(probe);
  auto* object = new int(7);
  benchmark::DoNotOptimize(object);
  delete object;
  if (counted != 1) {
    std::fprintf(stderr, "the allocation counter saw %lld allocations instead of 1\n", static_cast<long long>(counted));
    std::exit(2);
  }
}

void RegisterAll() {
  for (const BenchRow& row : Rows()) {
    const std::string name = std::string(row.plugin) + "/" + row.request;
    auto tune = [](benchmark::internal::Benchmark* b) {
      b->Unit(benchmark::kMicrosecond);
      if (smoke) b->Iterations(1);
    };
    tune(benchmark::RegisterBenchmark(("host/" + name).c_str(), [&row](benchmark::State& s) { BenchHost(s, row); }));
    tune(benchmark::RegisterBenchmark(("memory/" + name).c_str(), [&row](benchmark::State& s) { BenchMemory(s, row); }));
    benchmark::RegisterBenchmark(("stack/" + name + "/memory").c_str(), [&row](benchmark::State& s) { BenchStack(s, row, true); })
        ->Iterations(1);
    benchmark::RegisterBenchmark(("stack/" + name + "/host").c_str(), [&row](benchmark::State& s) { BenchStack(s, row, false); })
        ->Iterations(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--om_smoke") == 0) {
      smoke = true;
    } else {
      arguments.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(arguments.size());
  CheckTheCounter();
  benchmark::Initialize(&count, arguments.data());
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
