// The identity texts a Login or Stat join leaves for the game server: the account's PC id,
// the player's name and the player's squad, each sealed with the server's key text, and
// the cookies that carry them.
#include <stdio.h>
#include <string.h>

#include "cookies.h"
#include "join_page.h"
#include "join_tables.h"
#include "sealing.h"
#include "text.h"
#include "vexa_text.h"

namespace omjoin {

namespace {

// The PC id is copied bounded to 507, the way the game server's reader expects it.
constexpr int32_t kPcidPayloadSize = 507;
constexpr int32_t kSquadIdBytes = 4;
constexpr int32_t kSquadPayloadSize = kSquadIdBytes + 2 * om::PageTextSize;

// Seals n bytes into a cleared output; a payload too long for the output leaves it empty.
void Seal(const uint8_t* payload, int32_t n, const char* key, char* output, int32_t capacity) {
  memset(output, 0, static_cast<size_t>(capacity));
  SealText(payload, n, key, output, capacity);
}

// Appends a text and its terminating zero; returns the new length of the payload.
int32_t AppendWithZero(uint8_t* payload, int32_t length, const char* text) {
  char copy[om::PageTextSize];
  om::TextCopy(copy, text, om::PageTextSize);
  const int32_t n = vexa::TextLength(copy) + 1;
  memcpy(payload + length, copy, static_cast<size_t>(n));
  return length + n;
}

void SetCookie(JoinPage& page, const char* prefix, const char* name, const char* value) {
  char cookie[64];
  snprintf(cookie, sizeof cookie, "%s%s", prefix, name);
  page.api->SetVar(page.api, ScopeCookie, cookie, value);
}

}  // namespace

void ComputeIdentityTexts(JoinPage& page) {
  char key[32];
  snprintf(key, sizeof key, "%ld", static_cast<long>(page.scrambleKey));

  char pcid[kPcidPayloadSize];
  om::TextCopy(pcid, page.pcid, kPcidPayloadSize);
  Seal(reinterpret_cast<const uint8_t*>(pcid), vexa::TextLength(pcid), key, page.pcidText, sizeof page.pcidText);

  uint8_t name[om::PageTextSize];
  const int32_t nameLength = AppendWithZero(name, 0, page.login.CharacterName);
  Seal(name, nameLength, key, page.nameInfoText, sizeof page.nameInfoText);

  uint8_t squad[kSquadPayloadSize];
  const uint32_t squadId = static_cast<uint32_t>(page.squadId);
  for (int32_t i = 0; i < kSquadIdBytes; ++i) squad[i] = static_cast<uint8_t>(squadId >> (8 * i));
  int32_t squadLength = AppendWithZero(squad, kSquadIdBytes, page.squadName);
  squadLength = AppendWithZero(squad, squadLength, page.squadTag);
  Seal(squad, squadLength, key, page.squadInfoText, sizeof page.squadInfoText);
}

void SetIdentityCookies(JoinPage& page, const char* prefix, bool ownServer) {
  SetCookie(page, prefix, "PCID", page.pcidText);
  page.api->SetVar(page.api, ScopeCookie, "PUBPCID", page.pcidText);
  if (ownServer) {
    om::SetNumberCookie(page.api, "OMPF", page.pfid);
    om::SetNumberCookie(page.api, "OMPF2", page.pfid2);
  }
  SetCookie(page, prefix, "NAMEINFO", page.nameInfoText);
  SetCookie(page, prefix, "SQUADINFO", page.squadInfoText);
  WriteStepRecord(page.api, "NAMEINFO [encrypted]", page.nameInfoText, kNoteLifetime);
  WriteStepRecord(page.api, "PCID [encrypted]", page.pcidText, kNoteLifetime);
  WriteStepRecord(page.api, "SQUADINFO [encrypted]", page.squadInfoText, kNoteLifetime);
}

}  // namespace omjoin
