#include "db_client.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "db/schema.h"
#include "slots.h"

namespace omtest {

DbClient::DbClient(omserver::Host& host) : state_(host, spec_, result_) {
  context_.state = &state_;
  omserver::FillHostApi(context_);
}

DbClient::~DbClient() { finish(); }

const std::vector<std::string>& DbClient::finish() {
  if (!finished_) omserver::FinishDatabases(state_);
  finished_ = true;
  return result_.hostLog;
}

bool DbClient::logged(const std::string& text) const {
  for (const std::string& line : result_.hostLog) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

StepOutcome RunStep(HostApi* api, int32_t database, const std::string& tag, const std::vector<std::string>& texts,
                    const std::vector<std::string>& binds) {
  StepOutcome outcome;
  int32_t error = 0;
  DbHandle* db = api->DbOpen(api, database, &error);
  if (db == nullptr) {
    outcome.failedAt = "DbOpen " + std::to_string(error);
    return outcome;
  }
  api->DbSetTag(db, tag.c_str(), 1, 0);
  for (const std::string& text : texts) api->DbSetQuery(db, text.c_str());
  outcome.execute = api->DbExecute(db);
  if (outcome.execute < 0) {
    outcome.failedAt = "DbExecute";
  } else {
    for (size_t r = 0; r < binds.size(); ++r) {
      int32_t out1 = 0, out2 = 0;
      if (api->DbNextResult(db, &out1, &out2, 0) < 0) {
        outcome.failedAt = "DbNextResult " + std::to_string(r + 1);
        break;
      }
      const std::string& kinds = binds[r];
      std::vector<int32_t> numbers(kinds.size());
      std::vector<std::vector<char>> texts(kinds.size(), std::vector<char>(512));
      std::vector<char> letters(kinds.size());
      for (size_t c = 0; c < kinds.size(); ++c) {
        if (kinds[c] == 'i') api->DbBindColumn(db, DbColumnInt, 0, &numbers[c]);
        if (kinds[c] == 't') api->DbBindColumn(db, DbColumnText, 512, texts[c].data());
        if (kinds[c] == 'c') api->DbBindColumn(db, DbColumnChar, 0, &letters[c]);
      }
      std::string rows;
      while (api->DbFetch(db) >= 0) {
        if (!rows.empty()) rows += ";";
        for (size_t c = 0; c < kinds.size(); ++c) {
          if (c > 0) rows += "|";
          if (kinds[c] == 'i') rows += std::to_string(numbers[c]);
          if (kinds[c] == 't') rows += texts[c].data();
          if (kinds[c] == 'c' && letters[c] != '\0') rows += letters[c];
        }
      }
      outcome.results.push_back(rows);
    }
    if (outcome.failedAt.empty()) {
      int32_t out1 = 0, out2 = 0;
      outcome.extraResult = api->DbNextResult(db, &out1, &out2, 0) >= 0;
    }
  }
  api->DbCloseCursor(db);
  api->DbRelease(db);
  return outcome;
}

std::string Sql(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string Query(omserver::Host& host, int32_t database, const std::string& sql) {
  omserver::SqliteDb db = omserver::db::OpenDatabase(host, database);
  omserver::Statement statement = db.prepare(sql);
  std::string rows;
  while (statement.step()) {
    if (!rows.empty()) rows += ";";
    for (int c = 0; c < statement.columnCount(); ++c) {
      if (c > 0) rows += "|";
      rows += statement.columnText(c);
    }
  }
  return rows;
}

void Exec(omserver::Host& host, int32_t database, const std::string& sql) {
  omserver::SqliteDb db = omserver::db::OpenDatabase(host, database);
  db.exec(sql);
}

// The fixture: alice (1) is active with login value 1001 and three live players (bear, Fox
// as default and primary, Wren) and one deleted one; bob (2) is pending with code 4321;
// carol (3, suspended) and dave (4) share an address. Alice has an account-wide restriction
// 0x10, one on Wren (0x01) and one no longer in force. Her continuation token 7007 was set
// 60 minutes ago, 7008 61 minutes ago (the clock is kTestNow).
void LoadFixture(omserver::Host& host) {
  host.setClock(kTestNow);
  Exec(host, 1, R"sql(
    INSERT INTO login (cid, handle, password, email, fname, lname, status, state, activation) VALUES
      (1, 'alice', 'pw1', 'alice@example.com', 'Alice', 'Archer', 'A', 'A', 0),
      (2, 'bob', 'pw2', 'bob@example.com', 'Bob', 'Baker', 'P', 'A', 4321),
      (3, 'carol', 'pw3', 'shared@example.com', '', '', 'S', 'A', 0),
      (4, 'dave', 'pw4', 'shared@example.com', '', '', 'A', 'A', 0);
    INSERT INTO loginvalue (cid, value) VALUES (1, 1001);
    INSERT INTO customer (parentcid, fname, minitial, lname, address1, address2, city, stateprovince, postalcode,
                          country, dayphone, nightphone, secretquestion, secretanswer) VALUES
      (1, 'Alicia', 'M', 'Archer', '1 Road', 'Flat 2', 'Portsea', 'Hants', 'PO1', 'UK', '555-1', '555-2', 'pet?', 'cat');
    INSERT INTO character (chid, cid, name, isdefault, state) VALUES
      (10, 1, 'Fox', 'y', 'A'), (11, 1, 'Wren', 'n', 'A'), (12, 1, 'Ash', 'n', 'D'), (13, 1, 'bear', 'n', 'A');
    INSERT INTO oldcharacters (cid, chid, oldname, newname, changedate) VALUES
      (1, 10, 'Old', 'Fox', '2026-03-02 08:00:00'), (1, 10, 'Older', 'Old', '2026-02-27 08:00:00');
    INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) VALUES
      (1, 0, 16, 'A'), (1, 11, 1, 'A'), (1, 0, 2, 'X');
    INSERT INTO primarycharacter (cid, chid) VALUES (1, 10);
    INSERT INTO continueloginvalue (cid, value, dateset) VALUES
      (1, 7007, '2026-03-15 11:00:30'), (1, 7008, '2026-03-15 10:59:29');
    INSERT INTO pcid (cid, pcid_series, pcid_number) VALUES (1, 'A', 1);
    INSERT INTO omsquad (squid, name, abbrev, deco) VALUES (5, 'Night Owls', 'NO', 9);
    INSERT INTO omsquadmember (squid, chid) VALUES (5, 10);
    INSERT INTO accesscode (AccessCodeID, accesscode) VALUES (1, 'alpha'), (2, 'Beta'), (3, 'gamma');
    INSERT INTO AccessCodeAssignment (cid, AccessCodeID) VALUES (1, 1), (1, 2);
  )sql");
  Exec(host, 6, R"sql(
    INSERT INTO stats_player_var (pload, expansion, cid, chid, varname, value) VALUES
      ('GX', 'X1', 1, 10, 'KILLS', 120), ('GX', '', 1, 10, 'RANK', 3);
    INSERT INTO stats_rank_watermark (pload, expansion, cid, rank_id) VALUES ('GX', 'X1', 1, 7);
    INSERT INTO stats_title_watermark (title_id, cid, rank_id) VALUES (27, 1, 5);
  )sql");
}

}  // namespace omtest
