// OMJoin's page object and the operations of a join: the server lookup, the player
// verification, the statistics limits and ticket, the identity texts and the page logic.
#ifndef OM_JOIN_JOIN_PAGE_H
#define OM_JOIN_JOIN_PAGE_H

#include <stdint.h>

#include "host_api.h"
#include "login_cookies.h"
#include "page.h"

namespace omjoin {

enum { JoinVarCapacity = 64, SealedTextSize = 2048 };

// Join modes: the rows of kModes (join_tables.h).
enum : int32_t { ModeAnonymous = 1, ModeLogin = 2, ModeStat = 3, ModeAuth = 4 };

struct JoinPage : om::Page<JoinVarCapacity> {
  int32_t pfid;                            // "pfid": product family of the game
  int32_t pfid2;                           // "pfid2": the expansion joined with, 0 when none
  char mode[om::PageTextSize];             // "mode"
  int32_t rid;                             // "rid": the server's record id
  char gsid[om::PageTextSize];             // "gsid"
  int32_t lan;                             // "lan": joined over the local network
  int32_t modeNumber;
  om::LoginFields login;                   // "OMV", "OMI", "OMD", "CHAR"; the name from the database
  char handle[om::PageTextSize];
  char firstName[om::PageTextSize];
  char lastName[om::PageTextSize];
  char email[om::PageTextSize];
  char pcid[om::PageTextSize];
  int32_t scrambleKey;
  char pcidText[om::PageTextSize];         // sealed texts of the identity cookies
  char nameInfoText[SealedTextSize];
  int32_t squadId;
  char squadName[om::PageTextSize];
  char squadTag[om::PageTextSize];
  char squadInfoText[SealedTextSize];
  uint32_t featureMask;
  char lineTicket[om::PageTextSize];       // the waiting line's ticket ("OMJoin.dll:LTAG")
  char action[om::PageTextSize];           // request variable "action", read afresh
  int32_t statTicketId;
  int32_t statTicketValue;
  int32_t rankWatermark;                   // "private:gxstatrankwatermark"
  int32_t superUser;                       // "private:realmwardenprivlock"
  char pageId[om::PageTextSize];           // "JPID-..." when the server wants one
  char joinTicket[om::PageTextSize];       // from QueryAccountRecord
};

// The page logic run by Body for every request.
int32_t ServerUpPage(JoinPage& page, int32_t* end);

// Asks the host for the server of "rid" and "gsid" with the variables a join reads.
// 0, or -1 after replying 3212 (lookup failed) or 3213 (unknown server).
int32_t LookUpServer(JoinPage& page, ServerRecord& record);
// The value of a server variable: the first (or last) entry of that name whose value is
// not empty; null when the server has none. A value the host left empty counts as absent.
const char* FirstServerValue(const ServerRecord& record, const char* name);
const char* LastServerValue(const ServerRecord& record, const char* name);
// Appends a wanted name with its value; -1 when the list is full.
int32_t AddServerValue(ServerRecord& record, const char* name, const char* value);

// Checks the account and player against the account database and fills the identity
// fields. 0, or -1 after a failure reply.
int32_t VerifyUserInfo(JoinPage& page);
// The server's statistics limits for a verified player. 0, or -1 after a failure reply.
int32_t ApplyStatLimits(JoinPage& page, const ServerRecord& record);
// The statistics ticket of a Stat join. 0, or -1 after a failure reply.
int32_t InsertStatTicket(JoinPage& page);
// PCID, NAMEINFO and SQUADINFO sealed with the server's key.
void ComputeIdentityTexts(JoinPage& page);
// The identity cookies of a Login or Stat join under the server's cookie prefix.
void SetIdentityCookies(JoinPage& page, const char* prefix, bool ownServer);

// A diagnostic record the host keeps beyond the request. 0, or -1.
int32_t WriteStepRecord(HostApi* api, const char* name, const char* text, int32_t lifetime);

}  // namespace omjoin

#endif  // OM_JOIN_JOIN_PAGE_H
