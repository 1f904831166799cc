// VerifyUserInfo: the account check of a Login or Stat join. One batch of seven statements
// reads the login row, the login value, the player, the restrictions, the PC id, the squad
// and the access codes; the decisions follow in a fixed order, and the identity fields the
// later steps hand on are filled.
#include <stdio.h>
#include <string.h>

#include "code_list.h"
#include "db_step.h"
#include "join_page.h"
#include "join_tables.h"
#include "replies.h"
#include "text.h"
#include "vexa_text.h"

namespace omjoin {

namespace {

constexpr int32_t kPcidColumnSize = 64;
constexpr int32_t kDebugTextSize = 1024;
constexpr int32_t kPageIdDigits = 64;

void Note(JoinPage& page, const char* text) { WriteStepRecord(page.api, kJoinStep, text, kNoteLifetime); }

// What the batch leaves for the decisions, one group per result.
struct AccountRows {
  int32_t loginRows;
  int32_t parentCid;
  char handle[om::PageTextSize];
  char status;
  char firstName[om::PageTextSize];
  char lastName[om::PageTextSize];
  char email[om::PageTextSize];
  int32_t loginValueRows;
  int32_t characterRows;
  char characterName[om::PageTextSize];
  int32_t restrictions;
  int32_t pcidRows;
  char pcid[kPcidColumnSize];
  int32_t squadRows;
  int32_t squadId;
  char squadName[om::PageTextSize];
  char squadAbbrev[om::PageTextSize];
  int32_t squadDeco;
};

const SquadDecoration& DecorationOf(int32_t deco) {
  for (const SquadDecoration& row : kSquadDecorations) {
    if (row.deco == deco) return row;
  }
  return kOtherSquadDecoration;
}

bool AddsSquadTagToName(int32_t pfid) {
  for (int32_t family : kSquadTagFamilies) {
    if (family == pfid) return true;
  }
  return false;
}

// Runs the batch and reads its seven results. false when the step has replied.
bool ReadAccount(JoinPage& page, AccountRows& rows, CodeList& held, CodeList& required) {
  const long cid = page.login.AccountId;
  const long chid = page.login.CharacterId;
  om::DbStep step(page, kAccountDatabase, kVerifyUserInfoTag);
  step.append(kSelectLogin, cid);
  step.append(kSelectLoginValue, cid, static_cast<long>(page.login.LoginValue));
  step.append(kSelectCharacter, cid, chid);
  step.append(kSelectRestrictions, cid);
  step.append(kSelectPcid, cid);
  step.append(kSelectSquad, chid);
  if (step.ok()) Note(page, "Got here 1");
  step.append(kSelectAccessCodes, cid);
  if (!step.execute()) return false;

  if (!step.nextResult()) return false;
  step.bindInt(&rows.parentCid);
  step.bindText(rows.handle);
  step.bindChar(&rows.status);
  step.bindText(rows.firstName);
  step.bindText(rows.lastName);
  step.bindText(rows.email);
  rows.loginRows = step.fetchAll();

  if (!step.nextResult()) return false;
  int32_t value;
  step.bindInt(&value);
  rows.loginValueRows = step.fetchAll();

  if (!step.nextResult()) return false;
  int32_t characterChid;
  step.bindInt(&characterChid);
  step.bindText(rows.characterName);
  rows.characterRows = step.fetchAll();

  // A restriction of chid 0 holds for every player of the account.
  if (!step.nextResult()) return false;
  int32_t restrictionChid;
  int32_t restrictionBits;
  step.bindInt(&restrictionChid);
  step.bindInt(&restrictionBits);
  step.fetchEach([&] {
    if (restrictionChid == 0 || restrictionChid == page.login.CharacterId) rows.restrictions |= restrictionBits;
  });

  if (!step.nextResult()) {
    om::FailBare(page.api, 0, kSqlSelectFailure);
    return false;
  }
  step.bindText(rows.pcid);
  rows.pcidRows = step.fetchAll();

  if (!step.nextResult()) return false;
  step.bindInt(&rows.squadId);
  step.bindText(rows.squadName);
  step.bindText(rows.squadAbbrev);
  step.bindInt(&rows.squadDeco);
  rows.squadRows = step.fetchAll();

  step.nextResultUnchecked();
  Note(page, "Got here 10a");
  char code[om::PageTextSize];
  step.bindText(code);
  step.fetchEach([&] {
    CodeListAdd(held, code);
    CodeListRemove(required, code);
  });
  Note(page, "Got here 11");
  step.release();
  return true;
}

// The first refusal that applies, in the order the service decides them; 0 when none.
int32_t Refusal(JoinPage& page, const AccountRows& rows, const CodeList& required) {
  if (rows.loginRows == 0) return CodeNoLogin;
  const char status =
      static_cast<char>(rows.status >= 'a' && rows.status <= 'z' ? rows.status - 'a' + 'A' : rows.status);
  if (status == 'S') return CodeSuspended;
  if (status == 'D') return CodeDeleted;
  Note(page, "Got here 12");
  if (rows.loginValueRows == 0) return om::CodeNotLoggedIn;
  Note(page, "Got here 13");
  if (rows.characterRows == 0) return CodeNoCharacter;
  for (const RestrictionBit& bit : kRestrictionBits) {
    if ((rows.restrictions & bit.bit) != 0) return bit.code;
  }
  if (rows.pcidRows == 0) return CodeNoPcid;
  Note(page, "Got here 14");
  if (required.count > 0) return CodeAccessCodeMissing;
  return 0;
}

void TakeSquad(JoinPage& page, const AccountRows& rows) {
  page.squadId = 0;
  page.squadName[0] = '\0';
  page.squadTag[0] = '\0';
  if (rows.squadRows == 0) return;
  page.squadId = rows.squadId;
  om::TextCopy(page.squadName, rows.squadName, om::PageTextSize);
  const SquadDecoration& decoration = DecorationOf(rows.squadDeco);
  om::TextAppend(page.squadTag, decoration.before, om::PageTextSize);
  om::TextAppend(page.squadTag, rows.squadAbbrev, om::PageTextSize);
  om::TextAppend(page.squadTag, decoration.after, om::PageTextSize);
  if (AddsSquadTagToName(page.pfid)) om::TextAppend(page.login.CharacterName, page.squadTag, om::PageTextSize);
}

void TakeFeatureMask(JoinPage& page) {
  if (page.pfid <= 0) return;
  ProductRecord product;
  memset(&product, 0, sizeof product);
  product.pfid = page.pfid;
  if (page.api->QueryProductRecord(page.api, &product) < 0 || product.count <= 0) return;
  const int32_t count = product.count > ProductEntryCapacity ? ProductEntryCapacity : product.count;
  for (int32_t i = 0; i < count; ++i) page.featureMask |= static_cast<uint32_t>(product.entries[i].features);
}

// "JPID-<host number>-<client address>-<server id>-<64 random digits>".
void MakePageId(JoinPage& page, int32_t serverId) {
  HostApi* api = page.api;
  char piece[om::PageTextSize];
  page.pageId[0] = '\0';
  vexa::TextAppendN(page.pageId, om::PageTextSize, "JPID");
  vexa::TextAppendN(page.pageId, om::PageTextSize, "-");
  snprintf(piece, sizeof piece, "%d", api->GetHostNumber(api));
  vexa::TextAppendN(page.pageId, om::PageTextSize, piece);
  vexa::TextAppendN(page.pageId, om::PageTextSize, "-");
  piece[0] = '\0';
  api->FormatAddress(api, api->ClientAddress.value, api->ClientPort.value, piece, om::PageTextSize);
  piece[om::PageTextSize - 1] = '\0';
  vexa::TextAppendN(page.pageId, om::PageTextSize, piece);
  vexa::TextAppendN(page.pageId, om::PageTextSize, "-");
  snprintf(piece, sizeof piece, "%d", serverId);
  vexa::TextAppendN(page.pageId, om::PageTextSize, piece);
  vexa::TextAppendN(page.pageId, om::PageTextSize, "-");
  for (int32_t i = 0; i < kPageIdDigits; ++i) {
    snprintf(piece, sizeof piece, "%c", '0' + api->RandomRange(api, 0, 9));
    vexa::TextAppendN(page.pageId, om::PageTextSize, piece);
  }
}

}  // namespace

int32_t VerifyUserInfo(JoinPage& page) {
  page.featureMask = 0;
  ServerRecord server;
  if (LookUpServer(page, server) < 0) return om::kFailed;
  if (page.lan == 0 && server.lanOnly != 0) return om::FailCode(page, CodeServerNotFound);

  page.rid = server.rid;
  CodeList required;
  CodeList held;
  CodeListClear(required);
  CodeListClear(held);
  if (server.accessCodesRequired != 0) ParseCodeList(required, FirstServerValue(server, kAccessCodeList));

  AccountRows rows;
  memset(&rows, 0, sizeof rows);
  if (!ReadAccount(page, rows, held, required)) return om::kFailed;

  const int32_t refusal = Refusal(page, rows, required);
  if (refusal == om::CodeNotLoggedIn) return om::FailLogin(page);
  if (refusal != 0) return om::FailCode(page, refusal);

  om::TextCopy(page.handle, rows.handle, om::PageTextSize);
  om::TextCopy(page.login.CharacterName, rows.characterName, om::PageTextSize);
  om::TextCopy(page.pcid, rows.pcid, om::PageTextSize);
  om::TextCopy(page.firstName, rows.firstName, om::PageTextSize);
  om::TextCopy(page.lastName, rows.lastName, om::PageTextSize);
  om::TextCopy(page.email, rows.email, om::PageTextSize);
  Note(page, "Got here 15");

  TakeSquad(page, rows);
  Note(page, "Got here 16");
  TakeFeatureMask(page);
  if (CodeListFind(held, kSuperUserCode) != nullptr) page.superUser = 1;
  Note(page, "Got here 17");
  page.api->SetAccountCodes(page.api, &held);

  // A long squad name and tag are cut at the end of the debug text, as intended.
  char debug[kDebugTextSize];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"
  snprintf(debug, sizeof debug, kDebugSquadInfo, static_cast<long>(page.login.AccountId),
           static_cast<long>(page.login.CharacterId), static_cast<long>(page.pfid), page.squadId, page.squadName,
           page.squadTag);
#pragma GCC diagnostic pop
  WriteStepRecord(page.api, kDebugSquadRecord, debug, kNoteLifetime);
  Note(page, "Got here 18");

  if (server.pageIdRequired != 0) MakePageId(page, server.rid);
  Note(page, "Got here 19");
  return 0;
}

}  // namespace omjoin
