// The page variables of a page plug-in: every field of the page object that must survive
// between the requests of one conversation is registered once per request in the StateVar
// table, filled from the request (a session's first request) or from the session (every
// later one), and written back to the session at the end of the request.
#ifndef OM_FRAMEWORK_STATE_VARS_H
#define OM_FRAMEWORK_STATE_VARS_H

#include <stdint.h>

namespace om {

// Flag bits of a StateVar: the kind (the first of text, integer, byte that is set) and the
// request sources the variable may come from on a session's first request.
constexpr uint32_t SvText = 0x00000001u;       // text in a buffer of `size` bytes
constexpr uint32_t SvInt = 0x00000002u;        // 32-bit signed integer, decimal text form
constexpr uint32_t SvByte = 0x00000004u;       // signed 8-bit integer in one byte, decimal text form
constexpr uint32_t SvSource1 = 0x10000000u;    // request source 1 (host-supplied variables)
constexpr uint32_t SvSource4 = 0x20000000u;    // request source 4 (the form body)
constexpr uint32_t SvSource2 = 0x40000000u;    // request source 2 (the query string)
constexpr uint32_t SvNoSession = 0x80000000u;  // kept out of the defaults, the session load and the save

// The flag words the page plug-ins register with.
constexpr uint32_t SvPrivateInt = SvInt;                                  // 0x00000002 "private:" integers
constexpr uint32_t SvPrivateText = SvText;                                // 0x00000001 "private:" texts
constexpr uint32_t SvRequestText = SvText | SvSource2 | SvSource4;        // 0x60000001 page texts
constexpr uint32_t SvRequestInt = SvInt | SvSource2 | SvSource4;          // 0x60000002 page integers
constexpr uint32_t SvAnySourceInt = SvInt | SvSource1 | SvSource2 | SvSource4;  // 0x70000002 "pfid", "pfid2"
static_assert(SvRequestText == 0x60000001u && SvRequestInt == 0x60000002u && SvAnySourceInt == 0x70000002u);

// One registered page variable.
struct StateVar {
  int32_t index;            // position in the table at registration
  const char* name;         // session variable name and request variable name
  uint32_t flags;
  void* target;             // the page field holding the value
  int32_t size;             // buffer size of a text variable
  const char* defaultText;  // default value in text form
};

// The table inside a page object: the entries live in the page (Page<Capacity>), the table
// knows where and how many there are room for.
struct StateVarTable {
  StateVar* entries;
  int32_t capacity;
  int32_t count;
};

// A registration row of a plug-in's variable table. Write the target and size with OM_VAR so
// that a text variable's size is always the size of the field it fills.
template <class PageType>
struct VarRow {
  const char* name;
  uint32_t flags;
  void* (*target)(PageType& page);
  int32_t size;
  const char* defaultText;
};

#define OM_VAR(PageType, field) \
  [](PageType& p) -> void* { return &p.field; }, static_cast<int32_t>(sizeof(PageType::field))

}  // namespace om

#endif  // OM_FRAMEWORK_STATE_VARS_H
