// Statistics limits of a game server: the range of the player's best rank and ranges of
// single statistics values, read from the server's variables and checked against the
// statistics database of the game's product family.
#include <stdio.h>
#include <string.h>

#include "db_step.h"
#include "join_page.h"
#include "join_tables.h"
#include "replies.h"
#include "stat_criteria.h"
#include "text.h"
#include "vexa_text.h"

namespace omjoin {

namespace {

// The server variables of the limits; a variable the server lacks (or left empty) takes
// the value that lets every player in.
struct StatLimits {
  int32_t stats;
  int32_t rankRestrict;
  int32_t rankMin;
  int32_t rankMax;
  const char* criteria;
  const char* pload;
  const char* exp;
};

int32_t IntValue(const ServerRecord& record, const char* name, int32_t absent) {
  const char* value = LastServerValue(record, name);
  return value == nullptr ? absent : om::DecimalValue(value);
}

const char* TextValue(const ServerRecord& record, const char* name) {
  const char* value = LastServerValue(record, name);
  return value == nullptr ? "" : value;
}

StatLimits ReadLimits(const ServerRecord& record) {
  return StatLimits{
      IntValue(record, "GXStats", 0),
      IntValue(record, "GXStatRankRestrict", 0),
      IntValue(record, "GXStatRankMin", -1),
      IntValue(record, "GXStatRankMax", -1),
      TextValue(record, "GXStatRestrictArrayString"),
      TextValue(record, "PLoad"),
      TextValue(record, "Exp"),
  };
}

// The statistics database of the page's product family, or 0 when it keeps none.
int32_t StatDatabaseOf(int32_t pfid) {
  for (const StatDatabase& row : kStatDatabases) {
    if (row.pfid == pfid) return row.database;
  }
  return 0;
}

const FetchedCriterion* FetchedCriterionOf(const char* name) {
  for (const FetchedCriterion& row : kFetchedCriteria) {
    if (vexa::TextEqualAsciiNoCase(row.name, name)) return &row;
  }
  return nullptr;
}

}  // namespace

// Sets the rank watermark from the player's best rank. 0, or -1 after a failure reply.
int32_t FetchGXStatRank(JoinPage& page, const char* pload, const char* exp) {
  page.rankWatermark = -1;
  const int32_t database = StatDatabaseOf(page.pfid);
  if (database == 0) return om::FailCode(page, CodeNoStatisticsTitle);

  om::DbStep step(page, database, kFetchGXStatRankTag);
  int32_t results = kHighWaterMarkResults;
  if (pload != nullptr && exp != nullptr && pload[0] != '\0') {
    step.append(kHighWaterMark2, om::Quoted(pload).text(), om::Quoted(exp).text(),
                static_cast<long>(page.login.AccountId));
    results = kHighWaterMark2Results;
  } else {
    step.append(kHighWaterMark, static_cast<long>(page.pfid), static_cast<long>(page.login.AccountId));
  }
  if (!step.execute() || !step.skipResults(results)) return om::kFailed;

  int32_t returnValue;
  int32_t rank;
  step.bindInt(&returnValue);
  step.bindInt(&rank);
  returnValue = -1;
  rank = -1;
  const int32_t rows = step.fetchAll();
  step.release();
  if (rows == 0) return om::FailCode(page, CodeNoLogin);
  if (returnValue < 0) return om::FailCode(page, CodeNoRank);
  page.rankWatermark = rank;
  if (rank < 0) return om::FailCode(page, CodeNoRank);
  return 0;
}

// Fetches every RANK and KILLS criterion and checks it against its limits. 0, or -1 after
// a failure reply.
int32_t FetchGXStatRestrictVars(JoinPage& page, StatCriteria* criteria) {
  if (criteria == nullptr || criteria->count <= 0) return 0;
  const int32_t database = StatDatabaseOf(page.pfid);
  if (database == 0) return om::FailCode(page, CodeNoStatisticsTitle);

  om::DbStep step(page, database, nullptr);
  if (!step.ok()) return om::kFailed;
  const int32_t count = criteria->count > StatCriteriaCapacity ? StatCriteriaCapacity : criteria->count;
  for (int32_t i = 0; i < count; ++i) {
    StatCriterion& criterion = criteria->items[i];
    const FetchedCriterion* fetched = FetchedCriterionOf(criterion.name);
    if (fetched == nullptr) continue;

    step.startStatement(kFetchGXStatRestrictVarsTag);
    // The name is one of the fixed names of kFetchedCriteria, so it goes in as it is.
    step.append(kServerCriteria, om::Quoted(criteria->pload).text(), om::Quoted(criteria->exp).text(),
                static_cast<long>(page.login.AccountId), static_cast<long>(page.login.CharacterId), fetched->name,
                0L);
    if (!step.execute() || !step.skipResults(kServerCriteriaResults)) return om::kFailed;
    int32_t returnValue;
    int32_t value;
    step.bindInt(&returnValue);
    step.bindInt(&value);
    returnValue = -1;
    value = 0;
    const int32_t rows = step.fetchEach([&] { criterion.value = value; });
    step.close();
    if (rows == 0) return step.fail(CodeCriteriaNoRow);
    if (returnValue < 0) return step.fail(CodeCriteriaReturn);
    if (criterion.min >= 0 && criterion.value < criterion.min) return step.fail(fetched->belowMin);
    if (criterion.max >= 0 && criterion.value > criterion.max) return step.fail(fetched->aboveMax);
  }
  step.release();
  return 0;
}

int32_t ApplyStatLimits(JoinPage& page, const ServerRecord& record) {
  const StatLimits limits = ReadLimits(record);
  if (limits.stats == 0) return 0;

  if (limits.rankRestrict != 0) {
    if (FetchGXStatRank(page, limits.pload, limits.exp) < 0) return om::kFailed;
    if (page.superUser == 0) {
      if (page.rankWatermark < 0) return om::FailCode(page, CodeNoRank);
      if (limits.rankMin >= 0 && page.rankWatermark < limits.rankMin) return om::FailCode(page, CodeRankBelowMin);
      if (limits.rankMax >= 0 && page.rankWatermark > limits.rankMax) return om::FailCode(page, CodeRankAboveMax);
    }
    char watermark[32];
    snprintf(watermark, sizeof watermark, "%ld", static_cast<long>(page.rankWatermark));
    page.api->SetVar(page.api, ScopeCookie, kRankWatermarkCookie, watermark);
  }

  if (limits.criteria[0] != '\0') {
    StatCriteria criteria;
    StatCriteriaClear(criteria);
    ParseStatCriteria(criteria, limits.criteria);
    vexa::TextCopyN(criteria.pload, StatNameSize, limits.pload);
    vexa::TextCopyN(criteria.exp, StatNameSize, limits.exp);
    if (criteria.count > 0 && page.superUser == 0 && FetchGXStatRestrictVars(page, &criteria) < 0) return om::kFailed;
  }
  return 0;
}

}  // namespace omjoin
