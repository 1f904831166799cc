// ServerUpPage: the join conversation from the first request to the final redirect. The
// first request only resets the cookies and sends the interim page; the next ones look the
// server up, choose what the join requires, keep the player in the waiting line while the
// server is full, verify the player, and leave the tickets, identity cookies and the log
// entry before sending the browser to the success page.
#include <stdio.h>
#include <string.h>

#include "cookies.h"
#include "join_page.h"
#include "join_tables.h"
#include "login_cookies.h"
#include "page.h"
#include "records.h"
#include "replies.h"
#include "text.h"
#include "vexa_text.h"

namespace omjoin {

namespace {

constexpr int32_t kWaitingTextSize = 4096;
constexpr int32_t kUserIdSize = 2048;
constexpr int32_t kRelayNow = 0;
constexpr int32_t kRelayPoll = 5;
constexpr int32_t kWaitingSessionOption = 1;
constexpr int32_t kWaitingSessionValue = 120000;

// Answers of the waiting line.
enum : int32_t { LineAdmitted = 0, LineWaiting = 1, LineUnknownServer = -1, LineWaitEnded = -2, LineNoAnswer = -3 };

bool IsLoginMode(int32_t mode) { return mode == ModeLogin || mode == ModeStat; }

// Every request starts from empty identity and ticket cookies, so a join never leaves the
// values of an earlier one behind.
void ResetCookies(JoinPage& page) {
  for (const char* name : kResetCookiesBefore) page.api->SetVar(page.api, ScopeCookie, name, "");
  om::SetNumberCookie(page.api, "OMPF", page.pfid);
  om::SetNumberCookie(page.api, "OMPF2", page.pfid2);
  for (const char* name : kResetCookiesAfter) page.api->SetVar(page.api, ScopeCookie, name, "");
}

const char* CookiePrefix(const ServerRecord& server) {
  if (server.ownServer != 0) return "OM";
  if (server.affiliateServer != 0) return "AFF";
  return "PUB";
}

// The waiting page: the server, the place in line and the way out. Cut at the buffer.
void ComposeWaitingText(const JoinPage& page, const ServerRecord& server, int32_t position,
                        char (&text)[kWaitingTextSize]) {
  const int32_t inFront = position - 1;
  if (inFront == 1) {
    snprintf(text, sizeof text, kWaitingOneInFront, server.serverName);
  } else if (inFront == 0) {
    snprintf(text, sizeof text, kWaitingNext, server.serverName);
  } else {
    snprintf(text, sizeof text, kWaitingCounting, server.serverName, static_cast<int>(inFront));
  }
  char cancel[kWaitingTextSize];
  snprintf(cancel, sizeof cancel, kWaitingCancel, page.api->PageUrl != nullptr ? page.api->PageUrl : "");
  vexa::TextAppendN(text, kWaitingTextSize, cancel);
}

enum class LineOutcome { GoOn, Replied, Failed };

// The host's waiting line of a queued server: take (or keep) a ticket, cancel on request,
// else poll; only an admitted player goes on.
LineOutcome WaitInLine(JoinPage& page, const ServerRecord& server, int32_t* end) {
  HostApi* api = page.api;
  om::ReadCookie(page.api, kLineTicketCookie, page.lineTicket, om::PageTextSize);
  if (page.lineTicket[0] == '\0') {
    if (api->QueueEnter(api, page.lineTicket, om::PageTextSize) < 0) {
      om::FailCode(page, CodeQueueEnterFailed);
      return LineOutcome::Failed;
    }
    page.lineTicket[om::PageTextSize - 1] = '\0';
    api->SetVar(api, ScopeCookie, kLineTicketCookie, page.lineTicket);
  }

  if (om::TextEqualNoCase(page.action, "cancel")) {
    if (api->QueueCancel(api, page.lineTicket, page.rid) < 0) {
      om::FailCode(page, CodeQueueCancelFailed);
      return LineOutcome::Failed;
    }
    api->Redirect(api, "FAILURE", page.failure, 0);
    *end = 1;
    return LineOutcome::Replied;
  }

  int32_t state = LineNoAnswer;
  int32_t position = -1;
  int32_t third = 0;
  const int32_t result = api->QueuePoll(api, page.lineTicket, page.rid, &state, &position, &third);
  if (result < 0) state = LineNoAnswer;
  switch (state) {
    case LineAdmitted:
      return LineOutcome::GoOn;
    case LineWaiting: {
      char text[kWaitingTextSize];
      ComposeWaitingText(page, server, position, text);
      api->SetSessionOption(page.session, kWaitingSessionOption, kWaitingSessionValue);
      om::Relay(page, text, kRelayPoll);
      return LineOutcome::Replied;
    }
    // The line's refusals keep the conversation's session open.
    case LineUnknownServer:
      om::FailCode(page, CodeServerNotFound);
      return LineOutcome::Replied;
    case LineWaitEnded:
      om::FailCode(page, CodeWaitEnded);
      return LineOutcome::Replied;
    default:
      om::FailCode(page, CodeQueueNoAnswer);
      return LineOutcome::Failed;
  }
}

void PostJoinEvent(JoinPage& page) {
  char userId[kUserIdSize];
  om::ReadCookie(page.api, kUserIdCookie, userId, kUserIdSize);
  EventRecord record = om::MakeEventRecord(page.login.AccountId, kJoinEventCode, kEventSource);
  record.loginValue = page.login.LoginValue;
  om::TextCopy(record.accountName, page.handle, sizeof record.accountName);
  om::TextCopy(record.firstName, page.firstName, sizeof record.firstName);
  om::TextCopy(record.lastName, page.lastName, sizeof record.lastName);
  om::TextCopy(record.email, page.email, sizeof record.email);
  record.characterId = page.login.CharacterId;
  om::TextCopy(record.characterName, page.login.CharacterName, sizeof record.characterName);
  record.clientAddress = page.api->ClientAddress.value;
  record.clientPort = page.api->ClientPort.value;
  record.pfid = page.pfid;
  record.pfid2 = page.pfid2;
  om::TextCopy(record.pcid, page.pcid, sizeof record.pcid);
  record.featureMask = static_cast<int32_t>(page.featureMask);
  om::TextCopy(record.userIdText, userId, sizeof record.userIdText);
  om::PostEvent(page.api, record);
}

// The host's join ticket for the game server. 0, or -1 after replying 3400.
int32_t RequestJoinTicket(JoinPage& page, const ServerRecord& server) {
  char userId[om::PageTextSize];
  om::ReadCookie(page.api, kUserIdCookie, userId, om::PageTextSize);
  JoinTicketRequest request;
  memset(&request, 0, sizeof request);
  request.accountId = page.login.AccountId;
  request.loginValue = page.login.LoginValue;
  request.characterId = page.login.CharacterId;
  om::TextCopy(request.userId, userId, sizeof request.userId);
  request.rid = server.rid;
  request.serverAddress = server.serverAddress;
  request.serverPort = server.serverPort;
  if (page.api->QueryAccountRecord(page.api, &request) < 0 || request.status != 0) {
    return om::FailCode(page, CodeJoinTicketRefused);
  }
  request.ticket[sizeof request.ticket - 1] = '\0';
  om::TextCopy(page.joinTicket, request.ticket, om::PageTextSize);
  return 0;
}

void LogJoin(JoinPage& page, int32_t mode) {
  char detail[2048];
  const long rid = page.rid;
  switch (mode) {
    case ModeAnonymous:
      snprintf(detail, sizeof detail, "ANONYMOUS rid=%ld", rid);
      break;
    case ModeLogin:
      snprintf(detail, sizeof detail, "LOGIN rid=%ld, pcid=\"%s\"", rid, page.pcid);
      break;
    case ModeStat:
      snprintf(detail, sizeof detail, "STAT rid=%ld, pcid=\"%s\", pfid=%ld", rid, page.pcid,
               static_cast<long>(page.pfid));
      break;
    default:
      return;
  }
  page.api->LogEvent(page.api, page.login.AccountId, page.login.CharacterId, "JOIN", detail);
}

// What a client that reads reply variables needs to reach the server.
void SetClientReplyVars(JoinPage& page, const ServerRecord& server) {
  HostApi* api = page.api;
  char text[om::PageTextSize];
  text[0] = '\0';
  api->FormatAddress(api, server.serverAddress, server.serverPort, text, om::PageTextSize);
  text[om::PageTextSize - 1] = '\0';
  api->SetVar(api, ScopeReply, "IpAndPort", text);
  snprintf(text, sizeof text, "%d", server.appId);
  api->SetVar(api, ScopeReply, "AppId", text);
  snprintf(text, sizeof text, "%d", server.lanOnly);
  api->SetVar(api, ScopeReply, "Lan", text);
  api->SetVar(api, ScopeReply, "GSID", server.gsid);
  text[0] = '\0';
  api->FormatAddress(api, server.baffleAddress, server.bafflePort, text, om::PageTextSize);
  text[om::PageTextSize - 1] = '\0';
  api->SetVar(api, ScopeReply, "OrbitmereBaffleIpAndPort", text);
  snprintf(text, sizeof text, "%d", server.baffleKey);
  api->SetVar(api, ScopeReply, "OrbitmereBaffleKey", text);
}

// The success page with the server's id and, when there is one, the page id; cut at 511.
void ComposeSuccessAddress(const JoinPage& page, char (&address)[om::PageTextSize]) {
  char rid[32];
  snprintf(rid, sizeof rid, "?rid=%ld", static_cast<long>(page.rid));
  om::TextCopy(address, page.success, om::PageTextSize);
  vexa::TextAppendN(address, om::PageTextSize, rid);
  if (page.pageId[0] != '\0') {
    vexa::TextAppendN(address, om::PageTextSize, "&gxipageid=");
    vexa::TextAppendN(address, om::PageTextSize, page.pageId);
  }
}

}  // namespace

int32_t ServerUpPage(JoinPage& page, int32_t* end) {
  ResetCookies(page);
  if (page.stage == 0) return om::RelayToNextStage(page, kContactingServer, kRelayNow);
  if (page.stage != 1) return om::FailBare(page.api, om::CodeBadStage);

  ServerRecord server;
  if (LookUpServer(page, server) < 0) return om::kFailed;
  page.rid = server.rid;

  if (server.accessText[0] != '\0') {
    int32_t status = 0;
    int32_t other = 0;
    if (page.api->QueryServerAccess(page.api, server.accessText, &status, &other) < 0) {
      return om::FailCode(page, CodeAccessCheckFailed);
    }
    if (status != 0 && status != kAccessStatusGoesOn) return om::FailCode(page, status);
  }

  const char* prefix = CookiePrefix(server);
  page.scrambleKey = server.scrambleKey;

  int32_t mode = page.modeNumber;
  if (mode == ModeAnonymous) {
    if (server.statsRequired != 0) {
      mode = ModeStat;
    } else if (server.loginRequired != 0 || server.accessCodesRequired != 0) {
      mode = ModeLogin;
    }
  }
  page.modeNumber = mode;
  if (server.pfidOverride != 0) page.pfid = server.pfidOverride;
  if (server.pfid2Override != 0) page.pfid2 = server.pfid2Override;

  if (IsLoginMode(mode) && om::ReadLoginCookies(page.api, page.login) == 0) return om::FailLogin(page);

  if (server.queued != 0) {
    const LineOutcome line = WaitInLine(page, server, end);
    if (line == LineOutcome::Failed) return om::kFailed;
    if (line == LineOutcome::Replied) return 0;
  }

  if (IsLoginMode(mode)) {
    if (VerifyUserInfo(page) < 0) return om::kFailed;
    if (ApplyStatLimits(page, server) < 0) return om::kFailed;
    PostJoinEvent(page);
    if (server.ticketRequired != 0 && RequestJoinTicket(page, server) < 0) return om::kFailed;

    ComputeIdentityTexts(page);
    if (mode == ModeStat && InsertStatTicket(page) < 0) return om::kFailed;
    SetIdentityCookies(page, prefix, server.ownServer != 0);
    if (mode == ModeStat && server.ownServer != 0) {
      om::SetNumberCookie(page.api, "OMTI", page.statTicketId);
      om::SetNumberCookie(page.api, "OMTV", page.statTicketValue);
    }
  }

  if (page.joinTicket[0] != '\0') {
    char ticketCookie[32];
    snprintf(ticketCookie, sizeof ticketCookie, "%sJOINTICKET", prefix);
    page.api->SetVar(page.api, ScopeCookie, ticketCookie, page.joinTicket);
  }

  LogJoin(page, mode);
  if (page.api->RequestKind.value == 2) SetClientReplyVars(page, server);
  if (page.pageId[0] != '\0') WriteStepRecord(page.api, kPageIdRecord, page.pageId, kPageIdLifetime);

  char address[om::PageTextSize];
  ComposeSuccessAddress(page, address);
  om::SucceedRedirectTo(page, address);
  *end = 1;
  return 0;
}

}  // namespace omjoin
