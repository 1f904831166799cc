// A host that answers every slot from memory, for measuring a plug-in's own share of a
// request: fixed tables, no files. It keeps one visitor's session between the requests of a
// conversation and offers what the plug-ins' main requests use: variables, cookies,
// replies, sessions, RegisterHost, one game server, and a memory database.
//
// The memory database answers each statement text with the results it learned for that
// text: the first time a text comes, the host runs it once on real databases through its
// statement source (the benchmark gives it the stand-in's demo databases) and keeps the
// results; from then on the text is answered from memory. A benchmark runs its requests
// once before measuring, so every measured statement is answered from memory. Without a
// statement source every database open is refused.
#ifndef OM_BENCH_MEMORY_HOST_H
#define OM_BENCH_MEMORY_HOST_H

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host_api.h"

namespace ombench {

// One result of a statement as the memory database keeps it: its number of columns (0 for a
// statement without rows), the rows it wrote, and its cells row by row as texts (NULL: "").
struct MemoryResult {
  int32_t columns = 0;
  int32_t changes = 0;
  std::vector<std::string> cells;
  int32_t rows() const { return columns == 0 ? 0 : static_cast<int32_t>(cells.size()) / columns; }
};

// Runs a statement text on real databases; false when the statement fails there.
using StatementSource = std::function<bool(int32_t database, const std::string& text, std::vector<MemoryResult>& results)>;

struct MemoryText {
  char name[64];
  char value[2048];
};

class MemoryHost {
 public:
  static constexpr int kCapacity = 48;

  MemoryHost();
  HostApi* api() { return &api_; }

  // A new request: clears the request's variables, cookies and replies; the session stays.
  void startRequest(int32_t kind = 1);
  // The same request again: only the reply cookies, reply variables and replies are emptied.
  void resetReplies();
  void forgetSession();
  void setPageUrl(const char* url);
  // Request variables by scope bit (1, 2, 4) or cookie (8).
  void add(int32_t scope, const char* name, const char* value);
  // Gives the memory database its statement source (see above).
  void setStatementSource(StatementSource source) { source_ = std::move(source); }
  // Statement texts run on the statement source so far (each once).
  int32_t statementsLearned() const { return learned_; }

  int32_t replies() const { return replies_; }
  const char* replyWord() const { return replyWord_; }
  int32_t replyCode() const { return replyCode_; }
  const char* replyTarget() const { return replyTarget_; }
  bool sessionOpen() const { return sessionOpen_; }

 private:
  struct Table {
    MemoryText entries[kCapacity];
    int32_t count = 0;
    const char* find(const char* name) const;
    void put(const char* name, const char* value);
  };
  friend struct Slots;

  // A statement's results as learned from the source (ok false: the statement failed).
  struct Learned {
    bool ok = false;
    std::vector<MemoryResult> results;
  };
  struct Binding {
    int32_t type;
    int32_t size;
    void* target;
  };
  // One connection of the memory database.
  struct Connection {
    static constexpr int32_t kTextSize = 16384;
    static constexpr int32_t kBindings = 64;
    MemoryHost* host = nullptr;
    int32_t database = 0;
    bool open = false;
    bool started = false;
    bool executed = false;
    bool overflow = false;
    int32_t length = 0;
    char text[kTextSize];
    const Learned* learned = nullptr;
    int32_t nextResult = 0;
    const MemoryResult* current = nullptr;
    int32_t row = 0;
    int32_t bound = 0;
    Binding bindings[kBindings];
    void endStatement();
  };
  static constexpr int32_t kConnections = 4;
  static constexpr int32_t kDatabases = 9;
  // The results of a text of database d, learned on first use.
  const Learned& answer(int32_t database, std::string_view text);

  HostApi api_;  // first: a slot finds its host from the record
  Table request_[4];  // sources 1, 2, 4 and the request's cookies
  Table replyCookies_;
  Table replyVars_;
  Table session_;
  alignas(8) uint8_t handle_[16] = {};  // what a plug-in sees of a session: byte 13, IsNew
  char sessionCookie_[64] = "";
  char pageUrl_[128] = "/";
  bool sessionExists_ = false;
  bool sessionOpen_ = false;
  int32_t replies_ = 0;
  int32_t replyCode_ = 0;
  char replyWord_[16] = "";
  char replyTarget_[2048] = "";
  Connection connections_[kConnections];
  StatementSource source_;
  std::map<std::string, Learned, std::less<>> learnedByText_[kDatabases];
  int32_t learned_ = 0;
};

// Allocation counting (alloc_count.cpp): counts malloc, calloc, realloc and the aligned
// forms, only on this thread and only between Start and Stop; a slot of the memory host
// pauses it, so only the plug-in's own allocations count.
void StartCountingAllocations();
int64_t StopCountingAllocations();
struct PauseAllocationCount {
  PauseAllocationCount();
  ~PauseAllocationCount();
  bool was;
};

}  // namespace ombench

#endif
