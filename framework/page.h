// The page object of the four page plug-ins: its common head (host record, session, page
// variables, stage and the six reply pages), the check of the reply pages, the action
// lookup and the two-stage pattern every slow operation follows.
#ifndef OM_FRAMEWORK_PAGE_H
#define OM_FRAMEWORK_PAGE_H

#include <stdint.h>

#include "host_api.h"
#include "state_vars.h"
#include "text.h"

namespace om {

enum { PageTextSize = 512 };

// The common head. A plug-in's page object derives from Page<Capacity> and adds its fields;
// it must stay trivially copyable, because the lifecycle zero-fills it.
struct PageState {
  HostApi* api;
  SessionHandle* session;
  StateVarTable vars;
  int32_t stage;                 // "private:stage"
  char success[PageTextSize];    // target of SUCCESS replies
  char failure[PageTextSize];    // target of FAILURE replies
  char msgbase[PageTextSize];    // base of message pages
  char relay[PageTextSize];      // the interim page
  char nodb[PageTextSize];       // where to go when no database serves the request
  char start[PageTextSize];      // the login page, target of a missing login

  // The StateVar table (state_vars.cpp).
  void AttachVars(StateVar* entries, int32_t capacity);
  void ClearVars();
  // 0, or -1 (nothing registered) for a null name, target or default, or a full table.
  int32_t AddVar(const char* name, uint32_t flags, void* target, int32_t size, const char* defaultText);
  void LoadVarDefaults();
  // From the request on a session's first request, which is then saved at once; from the
  // session on every later request.
  void LoadVars();
  void SaveVars();

  // True when this request created the session.
  bool SessionIsNew() const;
};

template <int32_t Capacity>
struct Page : PageState {
  static constexpr int32_t VarCapacity = Capacity;
  StateVar varEntries[Capacity];
};

// Registers "private:stage" and the six reply pages, first and in this order.
void AddCommonVars(PageState& page);

// On a browser request (RequestKind 1): 0 when "failure", "success", "msgbase" and "relay"
// are all set, else -1 after a bare failure with the code of the first empty one.
int32_t CheckReplyPages(PageState& page);

// A row of an action table (OMAccount): the handler is the page logic the row selects.
template <class PageType>
struct ActionEntry {
  int32_t number;
  const char* name;
  int32_t (*handler)(PageType& page, int32_t* end);
};

// A row of a mode table (OMJoin).
struct ModeEntry {
  int32_t number;
  const char* name;
};

// The first row whose name equals name ignoring case; the table ends with a row whose name
// is null. Null for a null table or name, or when no row matches.
template <class Row>
const Row* FindAction(const Row* table, const char* name) {
  if (table == nullptr || name == nullptr) return nullptr;
  for (const Row* row = table; row->name != nullptr; ++row) {
    if (TextEqualNoCase(row->name, name)) return row;
  }
  return nullptr;
}

// The two-stage pattern. At stage 0 it sends the interim page (relay text, delay), moves to
// stage 1 and returns 0; at stage 1 it returns StageWork, and the caller does the work; at
// any other stage it replies a bare failure 1101 and returns -1.
enum { StageWork = 1 };
int32_t TwoStages(PageState& page, const char* relayText, int32_t delay);

}  // namespace om

#endif  // OM_FRAMEWORK_PAGE_H
