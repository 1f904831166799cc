#include "conversation.h"

#include <cstdlib>

namespace omfuzz {

Conversation ParseConversation(std::string_view text, size_t maxRequests) {
  Conversation conversation;
  conversation.requests.emplace_back();
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line == "---") {
      if (conversation.requests.size() >= maxRequests) break;
      conversation.requests.emplace_back();
      continue;
    }
    if (line.size() < 2 || line[1] != ' ') continue;
    std::string_view rest = line.substr(2);
    omserver::RequestSpec& request = conversation.requests.back();
    if (line[0] == 'k') {
      request.kind = std::atoi(std::string(rest).c_str());
      continue;
    }
    size_t equals = rest.find('=');
    if (equals == std::string_view::npos) continue;
    std::string name(rest.substr(0, equals));
    std::string value(rest.substr(equals + 1));
    switch (line[0]) {
      case 'q': request.query.emplace_back(name, value); break;
      case 'f': request.form.emplace_back(name, value); break;
      case '1': request.source1.emplace_back(name, value); break;
      case 'c': request.cookies.emplace_back(name, value); break;
      case 's':
        if (conversation.requests.size() == 1) conversation.session[name] = value;
        break;
      default: break;
    }
  }
  return conversation;
}

}  // namespace omfuzz
