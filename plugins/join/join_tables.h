// OMJoin's constant tables: join modes, server variables, squad decorations, the cookies a
// join resets, the SQL texts of its database steps, its texts and failure codes.
#ifndef OM_JOIN_JOIN_TABLES_H
#define OM_JOIN_JOIN_TABLES_H

#include <stdint.h>

#include "join_page.h"

namespace omjoin {

// ---- Session, modes -----------------------------------------------------------------------
inline constexpr char kSessionTag[] = "OMJoin.dll:SESSIONTAG";
inline constexpr char kSessionCookie[] = "OMJOINSESSIONTAG";
inline constexpr char kPluginName[] = "OMJoin.dll";

inline constexpr om::ModeEntry kModes[] = {
    {ModeAnonymous, "Anonymous"},
    {ModeLogin, "Login"},
    {ModeStat, "Stat"},
    {ModeAuth, "Auth"},
    {0, nullptr},
};

// ---- Server variables ----------------------------------------------------------------------
// Asked of the host with every server lookup, in this order.
inline constexpr const char* kServerValueNames[] = {
    "AccessCodeList", "GXStats", "GXStatRankRestrict", "GXStatRankMin", "GXStatRankMax",
    "GXStatRestrictArrayString", "PLoad", "Exp", "PPSGameServerMode", "PPSRestrictions",
};
inline constexpr char kAccessCodeList[] = "AccessCodeList";
inline constexpr char kSuperUserCode[] = "RealmWardenPrivLock";

// ---- Squads ----------------------------------------------------------------------------------
struct SquadDecoration {
  int32_t deco;
  const char* before;
  const char* after;
};
inline constexpr SquadDecoration kSquadDecorations[] = {
    {1, "[", "]"},   {2, "=", "="},   {3, "-", "-"},    {4, ".", "."},    {5, ":", ":"},
    {6, "^", "^"},   {7, "*", "*"},   {8, "$", "$"},    {9, "/", "\\"},   {10, "(=", "=)"},
    {11, "(:", ":)"}, {12, "[:", ":]"},
};
inline constexpr SquadDecoration kOtherSquadDecoration = {0, "(", ")"};
// Product families whose player names carry the squad tag.
inline constexpr int32_t kSquadTagFamilies[] = {26, 18};

// ---- Cookies -----------------------------------------------------------------------------
// Emptied at the start of every request; "OMPF" and "OMPF2" sit between them and get the
// page's product families.
inline constexpr const char* kResetCookiesBefore[] = {
    "PUBPCID", "PUBNAMEINFO", "PUBSQUADINFO", "PUBJOINTICKET", "OMPCID",
    "OMNAMEINFO", "OMSQUADINFO", "OMTI", "OMTV",
};
inline constexpr const char* kResetCookiesAfter[] = {
    "OMJOINTICKET", "AFFPCID", "AFFNAMEINFO", "AFFSQUADINFO", "AFFJOINTICKET",
};
inline constexpr char kLineTicketCookie[] = "OMJoin.dll:LTAG";
inline constexpr char kUserIdCookie[] = "OMUID";
inline constexpr char kRankWatermarkCookie[] = "OMGXSTATRANKWATERMARK";

// ---- Texts ---------------------------------------------------------------------------------
inline constexpr char kContactingServer[] = "Contacting game server....";
inline constexpr char kWaitingOneInFront[] =
    "<center>Waiting to join \"%s\".<br>Please wait, there is one person in front of you.<br>";
inline constexpr char kWaitingNext[] = "<center>Waiting to join \"%s\".<br>Please wait, you are next in line.<br>";
inline constexpr char kWaitingCounting[] =
    "<center>Waiting to join \"%s\".<br>Please wait, there are %d people in front of you.<br>";
inline constexpr char kWaitingCancel[] = "<br><A HREF=\"%s?action=CANCEL\">Click here to cancel</A></CENTER>";
inline constexpr char kSqlSelectFailure[] = "Failure during SQL select";
inline constexpr char kEventSource[] = "OMJoin::ServerUpPage";
inline constexpr int32_t kJoinEventCode = 32767;
inline constexpr char kDebugSquadInfo[] = "cid=%ld, chid=%ld, pfid=%ld:  squid=%d, name=%s, abbrev=%s";

// Step-record names and lifetimes (milliseconds).
inline constexpr char kJoinStep[] = "JOINSTEP";
inline constexpr char kDebugSquadRecord[] = "*** DEBUG SQUAD INFO ***";
inline constexpr char kPageIdRecord[] = "GXIPAGEIDs";
inline constexpr int32_t kNoteLifetime = 900000;
inline constexpr int32_t kPageIdLifetime = 60000;

// ---- SQL -----------------------------------------------------------------------------------
inline constexpr int32_t kAccountDatabase = 1;
inline constexpr int32_t kStatTicketDatabase = 2;

inline constexpr char kVerifyUserInfoTag[] = "OMJoin.dll:VerifyUserInfo";
inline constexpr char kSelectLogin[] =
    "select parentcid, handle, status, fname, lname, email from login (NOLOCK) where cid = %ld and state = 'A' ";
inline constexpr char kSelectLoginValue[] = "select value from loginvalue (NOLOCK) where cid = %ld and value = %ld ";
inline constexpr char kSelectCharacter[] =
    "select chid, name from character (NOLOCK) where cid = %ld and chid = %ld and state = 'A' ";
inline constexpr char kSelectRestrictions[] =
    "select chid, om_restrictions_binaryVal from om_assigned_restrictions (NOLOCK) where status = 'A' and cid = %ld ";
inline constexpr char kSelectPcid[] = "select whole_pcid from view_PCID (NOLOCK) where cid = %ld ";
inline constexpr char kSelectSquad[] =
    "SELECT m.squid, s.name, s.abbrev, s.deco FROM omsquadmember AS m (NOLOCK) LEFT JOIN omsquad s ON "
    "(s.squid=m.squid) WHERE m.chid = %ld ";
inline constexpr char kSelectAccessCodes[] =
    "select accesscode from AccessCodeAssignment aca, accesscode ac where aca.cid=%ld and "
    "ac.AccessCodeID=aca.AccessCodeID ";

inline constexpr char kFetchGXStatRankTag[] = "OMJoin.dll:FetchGXStatRank";
inline constexpr char kHighWaterMark2[] =
    "declare @PLoad varchar(32) declare @Expansion varchar(32) declare @CID int declare @Rank_ID int declare "
    "@returnvalue int set @PLoad = '%s' set @Expansion = '%s' set @CID = %ld set @Rank_ID = 0 exec @returnvalue = "
    "sp_STATS_PLAYER_Get_High_Water_Mark2 @PLoad, @Expansion, @CID, @Rank_ID output select @returnvalue, @Rank_ID ";
inline constexpr int32_t kHighWaterMark2Results = 5;
inline constexpr char kHighWaterMark[] =
    "declare @Title_ID int declare @CID int declare @Rank_ID int declare @returnvalue int set @Title_ID = %ld set "
    "@CID = %ld set @Rank_ID = 0 exec @returnvalue = sp_STATS_PLAYER_Get_High_Water_Mark @Title_ID, @CID, @Rank_ID "
    "output select @returnvalue, @Rank_ID ";
inline constexpr int32_t kHighWaterMarkResults = 4;

inline constexpr char kFetchGXStatRestrictVarsTag[] = "OMJoin.dll:FetchGXStatRestrictVars";
inline constexpr char kServerCriteria[] =
    "declare @pload varchar(32) declare @expansion varchar(32) declare @cid int declare @chid int declare @varname "
    "varchar(32) declare @varvalue int declare @returnvalue int set @pload = '%s' set @expansion = '%s' set @cid = "
    "%ld set @chid = %ld set @varname = '%s' set @varvalue = %ld exec @returnvalue = "
    "sp_STATS_PLAYER_GET_Server_Criteria_Base @pload, @expansion, @cid, @chid, @varname, @varvalue output select "
    "@returnvalue, @varvalue ";
inline constexpr int32_t kServerCriteriaResults = 7;

inline constexpr char kInsertStatTicketTag[] = "OMJoin.dll:InsertStatTicket";
inline constexpr char kInsertStatTicket[] =
    "insert into statticket (statticketvalue, cid, pfid, handle, chid, name, created, state, datestatechanged, "
    "MiscFlags) values (%ld, %ld, %ld, '%s', %ld, '%s', GETDATE(), 'A', GETDATE(), %ld) select @@identity ";
inline constexpr int32_t kStatTicketValueMax = 8388607;

// Statistics database of a product family; 0 when the family keeps no statistics.
struct StatDatabase {
  int32_t pfid;
  int32_t database;
};
inline constexpr StatDatabase kStatDatabases[] = {
    {27, 6}, {28, 6}, {31, 6}, {32, 6}, {35, 7}, {36, 7}, {37, 8}, {38, 8}, {41, 8},
};

// Statistics criteria that are fetched, with their refusal codes.
struct FetchedCriterion {
  const char* name;
  int32_t belowMin;
  int32_t aboveMax;
};
inline constexpr FetchedCriterion kFetchedCriteria[] = {
    {"RANK", 3703, 3704},
    {"KILLS", 3705, 3706},
};

// ---- Failure codes -------------------------------------------------------------------------
enum : int32_t {
  CodeQueueEnterFailed = 1201,
  CodeQueueCancelFailed = 1202,
  CodeQueueNoAnswer = 1203,
  CodeSuspended = 3201,
  CodeDeleted = 3202,
  CodeNoLogin = 3206,
  CodeNoCharacter = 3209,
  CodeRestricted2 = 3210,
  CodeRestricted10 = 3211,
  CodeServerLookupFailed = 3212,
  CodeServerNotFound = 3213,
  CodeWaitEnded = 3214,
  CodeAccessCheckFailed = 3238,
  CodeAccessCodeMissing = 3300,
  CodeJoinTicketRefused = 3400,
  CodeNoRank = 3600,
  CodeRankBelowMin = 3601,
  CodeRankAboveMax = 3602,
  CodeCriteriaReturn = 3700,
  CodeNoPcid = 3801,
  CodeCriteriaNoRow = 4004,
  CodeNoStatTicketRow = 4003,
  CodeNoStatisticsTitle = 4008,
};

// Restriction bits of an account, lowest first: the first set one refuses.
struct RestrictionBit {
  int32_t bit;
  int32_t code;
};
inline constexpr RestrictionBit kRestrictionBits[] = {
    {0x01, CodeSuspended},
    {0x02, CodeRestricted2},
    {0x10, CodeRestricted10},
};

inline constexpr int32_t kAccessStatusGoesOn = 2005;

}  // namespace omjoin

#endif  // OM_JOIN_JOIN_TABLES_H
