// The host's other services. FormatAddress is the platform's; the rest answer as a failing
// host would until the stand-in provides them.
#include <cstdio>

#include "context.h"
#include "slots.h"
#include "slots_guard.h"

namespace omserver {

struct ServiceRequestState {};

void ServiceRequestStateDeleter::operator()(ServiceRequestState* services) const { delete services; }

void FinishServices(RequestState&) {}

namespace slots {
namespace {

int32_t Unavailable(HostApi* api, const char* slot) {
  StateOf(api).log(std::string(slot) + ": not offered by this host");
  return -1;
}

}  // namespace

int32_t RandomRange(HostApi* api, int32_t, int32_t) { return Unavailable(api, "RandomRange"); }
int32_t ScreenName(HostApi* api, const char*) { return Unavailable(api, "ScreenName"); }
int32_t GetHostNumber(HostApi* api) { return Unavailable(api, "GetHostNumber"); }
int32_t NoteFailure(HostApi* api) { return Unavailable(api, "NoteFailure"); }

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

int32_t DecodeText(HostApi* api, char*, const char*) { return Unavailable(api, "DecodeText"); }
int32_t SendMail(HostApi* api, const char*, const char*, const char*) { return Unavailable(api, "SendMail"); }
int32_t GetServerRecord(HostApi* api, ServerRecord*) { return Unavailable(api, "GetServerRecord"); }
int32_t QueueEnter(HostApi* api, char*, int32_t) { return Unavailable(api, "QueueEnter"); }
int32_t QueuePoll(HostApi* api, const char*, int32_t, int32_t*, int32_t*, int32_t*) { return Unavailable(api, "QueuePoll"); }
int32_t QueueCancel(HostApi* api, const char*, int32_t) { return Unavailable(api, "QueueCancel"); }
int32_t IsDbOffline(HostApi* api) { return Unavailable(api, "IsDbOffline"); }
int32_t LogEvent(HostApi* api, int32_t, int32_t, const char*, const char*) { return Unavailable(api, "LogEvent"); }
int32_t RegisterHost(HostApi* api, HostRecord*) { return Unavailable(api, "RegisterHost"); }
int32_t QueryServerAccess(HostApi* api, const char*, int32_t*, int32_t*) { return Unavailable(api, "QueryServerAccess"); }
int32_t PostEventRecord(HostApi* api, EventRecord*) { return Unavailable(api, "PostEventRecord"); }
int32_t QueryAccountRecord(HostApi* api, JoinTicketRequest*) { return Unavailable(api, "QueryAccountRecord"); }
int32_t SetAccountCodes(HostApi* api, CodeList*) { return Unavailable(api, "SetAccountCodes"); }
int32_t QueryProductRecord(HostApi* api, ProductRecord*) { return Unavailable(api, "QueryProductRecord"); }
int32_t EncodeText(HostApi* api, const char*, char*, int32_t, const char*) { return Unavailable(api, "EncodeText"); }
int32_t GetFeatureSwitch(HostApi* api, int32_t, int32_t*) { return Unavailable(api, "GetFeatureSwitch"); }

}  // namespace slots
}  // namespace omserver
