// One request's worth of host state, for calling service slots directly through the
// HostApi record the stand-in fills, without a plug-in.
#ifndef OM_TESTS_OMSERVER_SERVICES_SLOT_REQUEST_H
#define OM_TESTS_OMSERVER_SERVICES_SLOT_REQUEST_H

#include <string>

#include "context.h"
#include "host.h"
#include "request.h"

namespace omtest {

struct SlotRequest {
  explicit SlotRequest(omserver::Host& host, const std::string& pageUrl = "/OMTest");
  SlotRequest(const SlotRequest&) = delete;
  SlotRequest& operator=(const SlotRequest&) = delete;

  HostApi* api() { return &context.api; }
  // The host's notes of misuse, joined for failure messages.
  std::string notes() const;

  omserver::RequestSpec incoming;
  omserver::RequestResult result;
  omserver::RequestState state;
  omserver::RequestContext context{};
};

}  // namespace omtest

#endif
