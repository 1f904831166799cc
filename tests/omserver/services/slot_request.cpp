#include "slot_request.h"

namespace omtest {

SlotRequest::SlotRequest(omserver::Host& host, const std::string& pageUrl) : state(host, incoming, result) {
  incoming.pageUrl = pageUrl;
  context.state = &state;
  omserver::FillHostApi(context);
}

std::string SlotRequest::notes() const {
  std::string all;
  for (const std::string& line : result.hostLog) all += line + "\n";
  return all;
}

}  // namespace omtest
