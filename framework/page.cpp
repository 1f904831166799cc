#include "page.h"

#include "replies.h"

namespace om {
namespace {

// Registered first by every page plug-in, in this order.
constexpr VarRow<PageState> kCommonVars[] = {
    {"private:stage", SvPrivateInt, OM_VAR(PageState, stage), "0"},
    {"success", SvRequestText, OM_VAR(PageState, success), ""},
    {"failure", SvRequestText, OM_VAR(PageState, failure), ""},
    {"msgbase", SvRequestText, OM_VAR(PageState, msgbase), ""},
    {"relay", SvRequestText, OM_VAR(PageState, relay), ""},
    {"nodb", SvRequestText, OM_VAR(PageState, nodb), ""},
    {"start", SvRequestText, OM_VAR(PageState, start), ""},
};

// The reply pages a browser request must name, in the order they are tested.
struct RequiredPage {
  const char* (*text)(const PageState& page);
  int32_t code;
};
constexpr RequiredPage kRequiredPages[] = {
    {[](const PageState& p) -> const char* { return p.failure; }, CodeNoFailurePage},
    {[](const PageState& p) -> const char* { return p.success; }, CodeNoSuccessPage},
    {[](const PageState& p) -> const char* { return p.msgbase; }, CodeNoMsgbase},
    {[](const PageState& p) -> const char* { return p.relay; }, CodeNoRelayPage},
};

}  // namespace

void AddCommonVars(PageState& page) {
  for (const VarRow<PageState>& row : kCommonVars) {
    page.AddVar(row.name, row.flags, row.target(page), row.size, row.defaultText);
  }
}

int32_t CheckReplyPages(PageState& page) {
  if (page.api->RequestKind.value != 1) return 0;
  for (const RequiredPage& required : kRequiredPages) {
    if (required.text(page)[0] == '\0') return FailBare(page.api, required.code);
  }
  return 0;
}

int32_t TwoStages(PageState& page, const char* relayText, int32_t delay) {
  if (page.stage == 0) return RelayToNextStage(page, relayText, delay);
  if (page.stage == 1) return StageWork;
  return FailBare(page.api, CodeBadStage);
}

}  // namespace om
