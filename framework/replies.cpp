#include "replies.h"

namespace om {
namespace {

constexpr char kSuccess[] = "SUCCESS";
constexpr char kFailure[] = "FAILURE";
constexpr char kRelay[] = "RELAY";
constexpr int32_t kWaitForReader = -1;

}  // namespace

int32_t FailCode(const PageState& page, int32_t code) {
  page.api->Respond(page.api, kFailure, page.msgbase, code, nullptr, page.failure, kWaitForReader);
  return kFailed;
}

int32_t FailText(const PageState& page, const char* text, ReplyPage to) {
  const char* target = to == ReplyPage::Success ? page.success : page.failure;
  page.api->Respond(page.api, kFailure, page.msgbase, 0, text, target, kWaitForReader);
  return kFailed;
}

int32_t FailLogin(const PageState& page, int32_t code) {
  const char* target = page.start[0] != '\0' ? page.start : page.failure;
  page.api->Respond(page.api, kFailure, page.msgbase, code, nullptr, target, kWaitForReader);
  return kFailed;
}

int32_t FailBare(HostApi* api, int32_t code, const char* text) {
  api->Respond(api, kFailure, nullptr, code, text, nullptr, kWaitForReader);
  return kFailed;
}

int32_t FailToNoDbPage(const PageState& page) {
  page.api->Redirect(page.api, kFailure, page.nodb, 0);
  return kFailed;
}

int32_t SucceedText(const PageState& page, const char* text) {
  page.api->Respond(page.api, kSuccess, page.msgbase, 0, text, page.success, kWaitForReader);
  return 0;
}

int32_t SucceedRedirect(const PageState& page) { return SucceedRedirectTo(page, page.success); }

int32_t SucceedRedirectTo(const PageState& page, const char* url) {
  page.api->Redirect(page.api, kSuccess, url, 0);
  return 0;
}

int32_t Relay(const PageState& page, const char* text, int32_t delay) {
  page.api->Respond(page.api, kRelay, page.relay, 0, text, page.api->PageUrl, delay);
  return 0;
}

int32_t RelayToNextStage(PageState& page, const char* text, int32_t delay) {
  Relay(page, text, delay);
  // The interim page brings the browser back to this page; the saved stage picks the next step.
  if (page.stage < INT32_MAX) ++page.stage;
  return 0;
}

}  // namespace om
