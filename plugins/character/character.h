// OMCharacter's page object and the steps of its five actions. Every step works on the
// account-database connection the dispatcher opened and returns 0, or -1 after it has
// answered "FAILURE" itself.
#ifndef OM_PLUGINS_CHARACTER_CHARACTER_H
#define OM_PLUGINS_CHARACTER_CHARACTER_H

#include <stdint.h>

#include "db_step.h"
#include "login_cookies.h"
#include "page.h"

namespace omcharacter {

constexpr int32_t kAccountDatabase = 1;

// Codes of the player pages.
enum : int32_t {
  CodeNameTaken = 3225,
  CodePlayerLimit = 3226,
  CodeRenameLimit = 3227,
  CodeLastPlayer = 3228,
  CodeRestricted = 3210,
  CodeCriteriaFailed = 3700,
  CodePrimaryPlayer = 3901,
  CodeRenameAllowed = 3902,
  CodeNoRow = 4004,
  CodeNoStatisticsDatabase = 4008,
};

// Restriction bits that forbid renaming and deleting a player.
constexpr int32_t kPlayerChangeRestrictions = 0x17;

// The statements rename and delete both open their checks with: the account's active
// restriction rows, and the visitor's player as the account's default.
inline constexpr char kSelectRestrictions[] =
    "select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = %ld ";
inline constexpr char kFindDefaultPlayer[] =
    "select chid from character (NOLOCK) where cid=%ld and chid=%ld and state='A' and (isdefault='y' or "
    "isdefault='Y') ";

// Reads the restriction rows of the current result and folds the bits of the rows that
// apply to the player: the account-wide rows (chid 0) and the player's own.
int32_t FoldPlayerRestrictions(om::DbStep& step, int32_t characterId);

// Account event of select and delete.
constexpr int32_t kEventDefaultPlayerChanged = 8673;

struct OMCharacter : om::Page<32> {
  char action[om::PageTextSize];
  int32_t ib3;           // 1: the compact form of the list
  int32_t selectedchid;  // the player picked; create sets it to the new player
  char newcharactername[om::PageTextSize];
  char charglsvssrequest[om::PageTextSize];
  char charglsvssdata[om::PageTextSize];  // kept in the session only
  // cid ("OMI"), loginvalue ("OMV"), chid ("OMD"), charactername ("CHAR").
  om::LoginFields login;
  int32_t pfid;  // product family: picks the statistics database

  int32_t GetChars(om::DbStep& db);
  int32_t DoSelect(om::DbStep& db);
  int32_t DoCreate(om::DbStep& db);
  int32_t DoRename(om::DbStep& db);
  int32_t DoDelete(om::DbStep& db);
  int32_t FetchCharGLSVSSData();

  // A value written for the page's reader (ScopeReply).
  void SetReplyVar(const char* name, const char* value);
  // The three cookies that carry the default player to the rest of the site and the game.
  void SetDefaultPlayerCookies();
  // The account event of a changed default player (select, delete).
  void PostDefaultPlayerEvent(const char* source);
};

}  // namespace omcharacter

#endif
