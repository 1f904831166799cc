// A conversation of page requests written as text, the input of the page fuzz targets and
// the form of their seed corpora. One line each:
//
//   q NAME=VALUE   a query variable (source 2)        f NAME=VALUE   a form variable (source 4)
//   1 NAME=VALUE   a host-supplied variable (source 1) c NAME=VALUE   a cookie the browser adds
//   s NAME=VALUE   a variable of the session the conversation continues (before the first ---)
//   k N            the request kind (1 browser page, 2 reply-variable caller)
//   ---            the next request of the conversation
//
// Anything else is ignored; a value is every byte after the first "=" up to the line's end.
#ifndef OM_FUZZ_CONVERSATION_H
#define OM_FUZZ_CONVERSATION_H

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "request.h"

namespace omfuzz {

struct Conversation {
  std::map<std::string, std::string> session;  // planted before the first request
  std::vector<omserver::RequestSpec> requests;
};

// At most maxRequests requests are kept, so one input cannot run for long.
Conversation ParseConversation(std::string_view text, size_t maxRequests);

}  // namespace omfuzz

#endif
