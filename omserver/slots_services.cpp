// The host's other services. Each lives in its own file under services/; this file keeps
// what belongs to the platform (FormatAddress) and the services' end of a request.
#include <cstdio>

#include "context.h"
#include "services/store.h"
#include "slots.h"
#include "slots_guard.h"

namespace omserver {

void ServiceRequestStateDeleter::operator()(ServiceRequestState* services) const { delete services; }

// Every service keeps its outputs in host.sqlite as it answers, so nothing is left to do
// when the request ends.
void FinishServices(RequestState&) {}

namespace slots {

// Writes "a.b.c.d:port"; the address holds the first octet in its top byte.
int32_t FormatAddress(HostApi* api, int32_t address, int32_t port, char* buffer, int32_t bufferSize) {
  if (buffer == nullptr || bufferSize <= 0) {
    StateOf(api).log("FormatAddress: null buffer");
    return -1;
  }
  const auto a = static_cast<uint32_t>(address);
  std::snprintf(buffer, static_cast<size_t>(bufferSize), "%u.%u.%u.%u:%d", (a >> 24) & 0xFFu, (a >> 16) & 0xFFu,
                (a >> 8) & 0xFFu, a & 0xFFu, port);
  return 0;
}

}  // namespace slots
}  // namespace omserver
