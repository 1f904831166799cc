// The replies of the page plug-ins, one named form each, so that no plug-in spells out an
// argument list of Respond or Redirect. Failure forms return -1 (a failing operation has
// replied; its caller only ends the conversation), success and relay forms return 0.
#ifndef OM_FRAMEWORK_REPLIES_H
#define OM_FRAMEWORK_REPLIES_H

#include <stdint.h>

#include "host_api.h"
#include "page.h"

namespace om {

// Failure codes the framework sends itself.
enum : int32_t {
  CodeNoSuccessPage = 1002,
  CodeNoFailurePage = 1003,
  CodeNoMsgbase = 1004,
  CodeNoRelayPage = 1005,
  CodeBadStage = 1101,
  CodeUnknownMode = 1102,
  CodeUnknownAction = 1104,
  CodeNoSession = 1200,
  CodeNotLoggedIn = 3207,
  CodeDbRefused = 4000,
  CodeDbStatementFailed = 4001,
  CodeDbResultFailed = 4002,
  CodeDbOffline = 4005,
};

enum : int32_t { kFailed = -1 };

// Which reply page a text failure leads on to.
enum class ReplyPage { Failure, Success };

// Code failure N: FAILURE, msgbase, N, no text, the failure page, -1.
int32_t FailCode(const PageState& page, int32_t code);
// Text failure T to P: FAILURE, msgbase, 0, T, the failure (or success) page, -1.
int32_t FailText(const PageState& page, const char* text, ReplyPage to = ReplyPage::Failure);
// A missing or unconfirmed login (3207, or 3243): FAILURE, msgbase, the code, no text, the
// start page when it is set and else the failure page, -1.
int32_t FailLogin(const PageState& page, int32_t code = CodeNotLoggedIn);
// Bare failure: FAILURE, no msgbase, the code or 0, the text or none, no target, -1. Used
// before the reply pages are known to be valid, and when there is no page at all.
int32_t FailBare(HostApi* api, int32_t code, const char* text = nullptr);
// No database for this request and the caller named a "nodb" page: a FAILURE redirect there.
int32_t FailToNoDbPage(const PageState& page);

// Text success T: SUCCESS, msgbase, 0, T, the success page, -1.
int32_t SucceedText(const PageState& page, const char* text);
// Redirect success: SUCCESS to the success page.
int32_t SucceedRedirect(const PageState& page);
// SUCCESS to an address the plug-in built (the success page with query fields appended).
int32_t SucceedRedirectTo(const PageState& page, const char* url);

// Relay T (delay d): RELAY, the relay page, 0, T, PageUrl, d. The stage is left as it is.
int32_t Relay(const PageState& page, const char* text, int32_t delay);
// The interim page of a stage: Relay, then the stage moves on by one.
int32_t RelayToNextStage(PageState& page, const char* text, int32_t delay);

}  // namespace om

#endif  // OM_FRAMEWORK_REPLIES_H
