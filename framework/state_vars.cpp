// The StateVar table's operations on the page object.
#include <stdio.h>
#include <string.h>

#include "cookies.h"
#include "page.h"
#include "text.h"

namespace om {
namespace {

constexpr int32_t kRequestScratchSize = 2048;
constexpr int32_t kSessionScratchSize = 512;
constexpr int32_t kSaveScratchSize = 2048;

enum class Kind { None, Text, Int, Byte };

Kind KindOf(const StateVar& var) {
  if (var.flags & SvText) return Kind::Text;
  if (var.flags & SvInt) return Kind::Int;
  if (var.flags & SvByte) return Kind::Byte;
  return Kind::None;
}

bool InSession(const StateVar& var) { return (var.flags & SvNoSession) == 0; }

int32_t RequestScope(const StateVar& var) {
  int32_t scope = 0;
  if (var.flags & SvSource2) scope += ScopeSource2;
  if (var.flags & SvSource4) scope += ScopeSource4;
  if (var.flags & SvSource1) scope += ScopeSource1;
  return scope;
}

// Stores a value given as text by the entry's kind: a bounded copy, or the decimal value
// (a byte keeps the low 8 bits).
void StoreText(const StateVar& var, const char* text) {
  switch (KindOf(var)) {
    case Kind::Text:
      TextCopy(static_cast<char*>(var.target), text, var.size);
      break;
    case Kind::Int: {
      int32_t value = DecimalValue(text);
      memcpy(var.target, &value, sizeof value);
      break;
    }
    case Kind::Byte: {
      uint8_t low = static_cast<uint8_t>(static_cast<uint32_t>(DecimalValue(text)) & 0xFFu);
      memcpy(var.target, &low, 1);
      break;
    }
    case Kind::None:
      break;
  }
}

}  // namespace

void PageState::AttachVars(StateVar* entries, int32_t capacity) {
  vars.entries = entries;
  vars.capacity = entries != nullptr && capacity > 0 ? capacity : 0;
  vars.count = 0;
}

void PageState::ClearVars() { vars.count = 0; }

int32_t PageState::AddVar(const char* name, uint32_t flags, void* target, int32_t size, const char* defaultText) {
  if (name == nullptr || target == nullptr || defaultText == nullptr) return -1;
  if (vars.count >= vars.capacity) return -1;
  StateVar& var = vars.entries[vars.count];
  var.index = vars.count;
  var.name = name;
  var.flags = flags;
  var.target = target;
  var.size = size;
  var.defaultText = defaultText;
  ++vars.count;
  return 0;
}

void PageState::LoadVarDefaults() {
  for (int32_t i = 0; i < vars.count; ++i) {
    const StateVar& var = vars.entries[i];
    if (InSession(var)) StoreText(var, var.defaultText);
  }
}

void PageState::LoadVars() {
  const bool isNew = SessionIsNew();
  for (int32_t i = 0; i < vars.count; ++i) {
    const StateVar& var = vars.entries[i];
    if (isNew) {
      int32_t scope = RequestScope(var);
      if (scope == 0) continue;
      char scratch[kRequestScratchSize];
      scratch[0] = '\0';
      if (api->GetVar(api, scope, var.name, scratch, kRequestScratchSize) < 0) continue;
      scratch[kRequestScratchSize - 1] = '\0';
      StoreText(var, scratch);
    } else if (InSession(var)) {
      if (KindOf(var) == Kind::Text) {
        // A variable the session does not hold reads as an empty text.
        if (var.size <= 0) continue;
        char* target = static_cast<char*>(var.target);
        target[0] = '\0';
        api->GetSessionVar(session, var.name, target, var.size);
        target[var.size - 1] = '\0';
      } else if (KindOf(var) != Kind::None) {
        char scratch[kSessionScratchSize];
        scratch[0] = '\0';
        api->GetSessionVar(session, var.name, scratch, kSessionScratchSize);
        scratch[kSessionScratchSize - 1] = '\0';
        StoreText(var, scratch);
      }
    }
  }
  // What the first request brought stays in force for the whole conversation, so it goes
  // into the new session at once.
  if (isNew) SaveVars();
}

void PageState::SaveVars() {
  for (int32_t i = 0; i < vars.count; ++i) {
    const StateVar& var = vars.entries[i];
    if (!InSession(var)) continue;
    char scratch[kSaveScratchSize];
    switch (KindOf(var)) {
      case Kind::Text:
        api->SetSessionVar(session, var.name, static_cast<const char*>(var.target));
        break;
      case Kind::Int: {
        int32_t value;
        memcpy(&value, var.target, sizeof value);
        snprintf(scratch, sizeof scratch, "%ld", static_cast<long>(value));
        api->SetSessionVar(session, var.name, scratch);
        break;
      }
      case Kind::Byte: {
        int8_t value;
        memcpy(&value, var.target, sizeof value);
        snprintf(scratch, sizeof scratch, "%ld", static_cast<long>(value));
        api->SetSessionVar(session, var.name, scratch);
        break;
      }
      case Kind::None:
        break;
    }
  }
}

bool PageState::SessionIsNew() const { return IsNewSession(session); }

}  // namespace om
