// Access-code lists of a join: the codes a game server requires (its "AccessCodeList"
// variable) and the codes the account holds. Names are compared ignoring case and kept to
// 31 characters; a list holds at most 100.
#ifndef OM_JOIN_CODE_LIST_H
#define OM_JOIN_CODE_LIST_H

#include <stdint.h>

#include "host_api.h"

namespace omjoin {

void CodeListClear(CodeList& list);
// The first entry equal to name, or null (also for a null name).
const char* CodeListFind(const CodeList& list, const char* name);
// The equal entry when there is one; else name appended (cut to 31 characters) while the
// list has room; else null.
const char* CodeListAdd(CodeList& list, const char* name);
// Removes the first entry equal to name; the later entries keep their order.
void CodeListRemove(CodeList& list, const char* name);
// Empties the list, then adds every word of text (words end at blanks, tabs, carriage
// returns, form feeds and line feeds), skipping duplicates, while there is room.
void ParseCodeList(CodeList& list, const char* text);

}  // namespace omjoin

#endif  // OM_JOIN_CODE_LIST_H
