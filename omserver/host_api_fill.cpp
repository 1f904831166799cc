// The one place where the stand-in fills the HostApi record, word by word in the order of
// the host contract, so the two can be read side by side.
#include <cstring>

#include "context.h"
#include "slots.h"

namespace omserver {

void FillHostApi(RequestContext& context) {
  HostApi& api = context.api;
  std::memset(&api, 0, sizeof api);  // unused words are null, integer words zero-extended
  const RequestSpec& incoming = context.state->incoming;

  api.RequestKind.value = incoming.kind;
  api.PageUrl = incoming.pageUrl.c_str();
  api.ClientAddress.value = static_cast<int32_t>(incoming.clientAddress);
  api.ClientPort.value = incoming.clientPort;
  api.RandomRange = slots::RandomRange;
  api.ScreenName = slots::ScreenName;
  api.GetHostNumber = slots::GetHostNumber;
  api.NoteFailure = slots::NoteFailure;
  api.FormatAddress = slots::FormatAddress;
  api.DecodeText = slots::DecodeText;
  api.WriteText = slots::WriteText;
  api.Redirect = slots::Redirect;
  api.Respond = slots::Respond;
  api.SetVar = slots::SetVar;
  api.GetVar = slots::GetVar;
  api.OpenKeyedSession = slots::OpenKeyedSession;
  api.SetKeyedSessionOption = slots::SetKeyedSessionOption;
  api.CloseKeyedSession = slots::CloseKeyedSession;
  api.OpenSession = slots::OpenSession;
  api.SetSessionOption = slots::SetSessionOption;
  api.CloseSession = slots::CloseSession;
  api.GetSessionVar = slots::GetSessionVar;
  api.SetSessionVar = slots::SetSessionVar;
  api.DbOpen = slots::DbOpen;
  api.DbRelease = slots::DbRelease;
  api.DbSetTag = slots::DbSetTag;
  api.DbSetQuery = slots::DbSetQuery;
  api.DbExecute = slots::DbExecute;
  api.DbNextResult = slots::DbNextResult;
  api.DbBindColumn = slots::DbBindColumn;
  api.DbFetch = slots::DbFetch;
  api.DbCloseCursor = slots::DbCloseCursor;
  api.SendMail = slots::SendMail;
  api.GetServerRecord = slots::GetServerRecord;
  api.QueueEnter = slots::QueueEnter;
  api.QueuePoll = slots::QueuePoll;
  api.QueueCancel = slots::QueueCancel;
  api.IsDbOffline = slots::IsDbOffline;
  api.LogEvent = slots::LogEvent;
  api.RegisterHost = slots::RegisterHost;
  api.QueryServerAccess = slots::QueryServerAccess;
  api.PostEventRecord = slots::PostEventRecord;
  api.QueryAccountRecord = slots::QueryAccountRecord;
  api.SetAccountCodes = slots::SetAccountCodes;
  api.QueryProductRecord = slots::QueryProductRecord;
  api.EncodeText = slots::EncodeText;
  api.GetFeatureSwitch = slots::GetFeatureSwitch;
}

}  // namespace omserver
