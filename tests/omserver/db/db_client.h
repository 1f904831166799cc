// What the database tests share: a request of their own to call the database slots through
// (as a plug-in does), a reader that runs one step and renders the rows it reads, and the
// fixture the queries run on.
#ifndef OM_TESTS_OMSERVER_DB_DB_CLIENT_H
#define OM_TESTS_OMSERVER_DB_DB_CLIENT_H

#include <cstdint>
#include <string>
#include <vector>

#include "context.h"
#include "host.h"
#include "request.h"

namespace omtest {

// 2026-03-15 12:00:30 UTC, the clock of every database test.
constexpr int64_t kTestNow = 1773576030;

// A request's HostApi without a plug-in: the test calls the slots as a plug-in would.
class DbClient {
 public:
  explicit DbClient(omserver::Host& host);
  ~DbClient();
  HostApi* api() { return &context_.api; }
  // Runs the host's closing work (as after Body) and returns the host log.
  const std::vector<std::string>& finish();
  const std::vector<std::string>& log() const { return result_.hostLog; }
  // True when some line of the host log holds the text.
  bool logged(const std::string& text) const;

 private:
  omserver::RequestSpec spec_;
  omserver::RequestResult result_;
  omserver::RequestState state_;
  omserver::RequestContext context_{};
  bool finished_ = false;
};

// One result as a step reads it: the column types to bind ('i' integer, 't' text of 512,
// 'c' one character), and the rows fetched, rendered "a|b" and joined by ";".
struct StepOutcome {
  int32_t execute = 0;                 // DbExecute's result
  std::vector<std::string> results;    // rendered rows per result read
  bool extraResult = false;            // a DbNextResult beyond the expected ones succeeded
  std::string failedAt;                // where the step stopped, empty when it ran through
};

// Opens `database`, runs the texts (one DbSetQuery each) under `tag`, reads one result per
// entry of `binds`, checks that no further result follows, closes and releases.
StepOutcome RunStep(HostApi* api, int32_t database, const std::string& tag, const std::vector<std::string>& texts,
                    const std::vector<std::string>& binds);

// printf into a std::string, the way the plug-ins format their SQL texts.
std::string Sql(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Runs SQL straight on a database file (fixtures and checks), rendering rows "a|b;c|d".
std::string Query(omserver::Host& host, int32_t database, const std::string& sql);
void Exec(omserver::Host& host, int32_t database, const std::string& sql);

// The small service the plug-in queries run on (see db_client.cpp for its rows).
void LoadFixture(omserver::Host& host);

}  // namespace omtest

#endif
