// The page request lifecycle of the four page plug-ins: Body opens the visitor's session,
// builds a zero-filled page object, runs Init (page variables, reply pages, selection), runs
// one stage of the plug-in's page logic, saves the page variables and closes the session.
// A plug-in describes itself once in a PageDefinition and its Body is RunPage.
#ifndef OM_FRAMEWORK_LIFECYCLE_H
#define OM_FRAMEWORK_LIFECYCLE_H

#include <span>
#include <string.h>
#include <type_traits>

#include "host_api.h"
#include "page.h"
#include "replies.h"
#include "state_vars.h"

namespace om {

template <class PageType>
struct PageDefinition {
  const char* sessionTag;       // "OMHost.dll:SESSIONTAG"
  const char* sessionCookie;    // "OMJOINSESSIONTAG"
  int32_t noSessionCode;        // bare failure when no session opens: the code ...
  const char* noSessionText;    // ... and the text, or null
  std::span<const VarRow<PageType>> vars;  // the plug-in's own, after the common seven
  // Optional: reads what the page takes afresh from every request, outside the table; runs
  // after the registrations and before the variables are loaded.
  void (*readRequest)(PageType& page);
  // Optional: selects the operation after the reply pages passed; -1 after replying.
  int32_t (*select)(PageType& page);
  // One stage of the page logic: sets *end to 1 with the final reply, leaves it 0 after a
  // relay; negative after a failure reply.
  int32_t (*logic)(PageType& page, int32_t* end);
};

// Init: registrations, loading, the reply-page check and the selection. 0, or -1 after a
// failure reply.
template <class PageType>
int32_t Init(PageType& page, HostApi* api, SessionHandle* session, const PageDefinition<PageType>& definition) {
  page.api = api;
  page.session = session;
  page.AttachVars(page.varEntries, PageType::VarCapacity);
  page.ClearVars();
  AddCommonVars(page);
  for (const VarRow<PageType>& row : definition.vars) {
    page.AddVar(row.name, row.flags, row.target(page), row.size, row.defaultText);
  }
  if (definition.readRequest != nullptr) definition.readRequest(page);
  page.LoadVarDefaults();
  page.LoadVars();
  if (CheckReplyPages(page) < 0) return kFailed;
  if (definition.select != nullptr && definition.select(page) < 0) return kFailed;
  return 0;
}

// Body of a page plug-in. Always 0: every outcome has been replied through the host.
template <class PageType>
int32_t RunPage(HostApi* api, const PageDefinition<PageType>& definition) {
  static_assert(std::is_base_of_v<PageState, PageType>, "a page object starts with the common head");
  static_assert(std::is_trivially_copyable_v<PageType>, "a page object is plain data, zero-filled per request");
  if (api == nullptr) return 0;

  PageType page;
  memset(static_cast<void*>(&page), 0, sizeof page);

  SessionHandle* session = api->OpenSession(api, definition.sessionTag, definition.sessionCookie);
  if (session == nullptr) {
    FailBare(api, definition.noSessionCode, definition.noSessionText);
    return 0;
  }

  int32_t end = 0;
  if (Init(page, api, session, definition) < 0) {
    // Init has replied; what it loaded is not worth keeping.
    end = 1;
  } else {
    if (definition.logic(page, &end) < 0) end = 1;
    page.SaveVars();
  }
  api->CloseSession(session, end);
  return 0;
}

}  // namespace om

#endif  // OM_FRAMEWORK_LIFECYCLE_H
