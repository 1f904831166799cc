// A host that answers every slot from memory, for measuring a plug-in's own share of a
// request: fixed tables, no allocation, no files. It keeps one visitor's session between
// the requests of a conversation and offers what OMPrepare and OMHost use (variables,
// cookies, replies, sessions, RegisterHost); every database open is refused and the other
// services fail as an absent host would.
#ifndef OM_BENCH_MEMORY_HOST_H
#define OM_BENCH_MEMORY_HOST_H

#include <cstdint>

#include "host_api.h"

namespace ombench {

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
