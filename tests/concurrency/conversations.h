// Whole conversations of the page plug-ins, each with the reply it is designed to end in,
// shared by the concurrency and injection tests. A conversation is built for a visitor
// number, so every visitor's values differ and a reply that reaches the wrong visitor, or a
// session that mixes two, shows.
#ifndef OM_TESTS_CONCURRENCY_CONVERSATIONS_H
#define OM_TESTS_CONCURRENCY_CONVERSATIONS_H

#include <functional>
#include <string>
#include <vector>

#include "host.h"
#include "request.h"

namespace omtest {

// One request and what its result must be: an empty text when it is as designed, else
// what is wrong.
struct ConversationStep {
  omserver::RequestSpec request;
  std::function<std::string(const omserver::RequestResult&)> check;
};

struct ConversationRow {
  const char* name;
  const char* plugin;
  std::function<std::vector<ConversationStep>(int visitor)> steps;
};

// The game server OMJoin's conversation joins, registered with the host services by the
// fixture before the conversations run.
constexpr int32_t kJoinServer = 100;
void AddJoinServer(omserver::Host& host);

// One row per conversation of every page plug-in on main.
const std::vector<ConversationRow>& Conversations();

// Helpers for writing checks.
std::string ExpectReply(const omserver::RequestResult& result, const std::string& call, const std::string& word);
std::string ExpectEqual(const char* what, const std::optional<std::string>& got, const std::string& expected);

}  // namespace omtest

#endif
