// Fetching the server-criteria values of the default player from the statistics database
// of the product family, one stored-procedure call per requested value.
#include "character.h"
#include "glsvss.h"
#include "replies.h"
#include "text.h"

namespace omcharacter {
namespace {

// Statistics database of each product family.
struct StatisticsDatabaseRow {
  int32_t pfid;
  int32_t database;
};
constexpr StatisticsDatabaseRow kStatisticsDatabases[] = {
    {27, 6}, {28, 6}, {31, 6}, {32, 6}, {35, 7}, {36, 7}, {37, 8}, {38, 8}, {41, 8},
};

constexpr char kFetchTag[] = "OMCharacter.dll:FetchCharGLSVSSData";
constexpr char kServerCriteria[] =
    "declare @pload varchar(32) declare @expansion varchar(32) declare @cid int declare @chid int declare @varname "
    "varchar(32) declare @varvalue int declare @returnvalue int set @pload = '%s' set @expansion = '%s' set @cid = "
    "%ld set @chid = %ld set @varname = '%s' set @varvalue = %ld exec @returnvalue = "
    "sp_STATS_PLAYER_GET_Server_Criteria_Base @pload, @expansion, @cid, @chid, @varname, @varvalue output select "
    "@returnvalue, @varvalue ";
// The six "set" statements come before the select that carries the answer.
constexpr int32_t kResultsToAnswer = 7;

int32_t StatisticsDatabase(int32_t pfid) {
  for (const StatisticsDatabaseRow& row : kStatisticsDatabases) {
    if (row.pfid == pfid) return row.database;
  }
  return 0;
}

}  // namespace

int32_t OMCharacter::FetchCharGLSVSSData() {
  charglsvssdata[0] = '\0';
  GlsvssList list;
  ClearGlsvssList(list);
  // A request that breaks off still asks for the values named before the fault.
  (void)ParseGlsvssRequest(list, charglsvssrequest);
  if (list.count == 0) return 0;

  int32_t database = StatisticsDatabase(pfid);
  if (database == 0) return om::FailCode(*this, CodeNoStatisticsDatabase);

  om::DbStep db(*this, database, nullptr);
  if (!db.ok()) return om::kFailed;
  for (int32_t i = 0; i < list.count; ++i) {
    GlsvssEntry& entry = list.entries[i];
    entry.value = 0;
    db.startStatement(kFetchTag);
    om::Quoted pload(entry.pload);
    om::Quoted expansion(entry.expansion);
    om::Quoted varname(entry.varname);
    db.append(kServerCriteria, pload.text(), expansion.text(), static_cast<long>(login.AccountId),
              static_cast<long>(login.CharacterId), varname.text(), 0L);
    if (!db.execute() || !db.skipResults(kResultsToAnswer)) return om::kFailed;
    int32_t returnValue;
    int32_t value;
    db.bindInt(&returnValue);
    db.bindInt(&value);
    returnValue = -1;
    value = 0;
    int32_t rows = db.fetchAll();
    db.close();
    if (rows == 0) return db.fail(CodeNoRow);
    if (returnValue < 0) return db.fail(CodeCriteriaFailed);
    entry.value = value;
  }
  db.release();

  if (FormatGlsvssData(list, charglsvssdata, om::PageTextSize) < 0) return om::FailCode(*this, CodeCriteriaFailed);
  return 0;
}

}  // namespace omcharacter
