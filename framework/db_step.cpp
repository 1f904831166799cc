#include "db_step.h"

#include <stdarg.h>
#include <stdio.h>

namespace om {
namespace {

constexpr int32_t kDbUnavailable = -6;
constexpr int32_t kNoDatabaseForRequest = -3;
constexpr int32_t kNoDatabaseForRequestToo = -4;

}  // namespace

DbStep::DbStep(PageState& page, int32_t database, const char* tag, DbOpenRule rule) : page_(page) {
  HostApi* api = page.api;
  int32_t error = 0;
  db_ = api->DbOpen(api, database, &error);
  if (db_ == nullptr) {
    failed_ = true;
    if (rule == DbOpenRule::NoStatisticsDatabaseGoesOn && error == kNoDatabaseForRequestToo) {
      absent_ = true;
    } else if (error == kDbUnavailable) {
      FailCode(page, CodeDbOffline);
    } else if ((error == kNoDatabaseForRequest || error == kNoDatabaseForRequestToo) && page.nodb[0] != '\0') {
      FailToNoDbPage(page);
    } else {
      FailCode(page, CodeDbRefused);
    }
    return;
  }
  if (tag != nullptr) startStatement(tag);
}

DbStep::DbStep(DbStep& connection, const char* tag) : page_(connection.page_), owner_(&connection), owns_(false) {
  if (!connection.ok()) {
    // The owner has already replied; this step must not reply again.
    failed_ = true;
    return;
  }
  db_ = connection.db_;
  if (tag != nullptr) startStatement(tag);
}

DbStep::~DbStep() { release(); }

void DbStep::append(const char* format, ...) {
  if (!ok() || tooLong_) return;
  char sql[DbStatementSize];
  va_list args;
  va_start(args, format);
  int written = vsnprintf(sql, sizeof sql, format, args);
  va_end(args);
  // A cut statement could end inside a literal or drop a condition: it is never sent.
  if (written < 0 || written >= static_cast<int>(sizeof sql)) {
    tooLong_ = true;
    return;
  }
  page_.api->DbSetQuery(db_, sql);
}

bool DbStep::execute() {
  if (!ok()) return false;
  if (tooLong_ || page_.api->DbExecute(db_) < 0) {
    failStatement(CodeDbStatementFailed);
    return false;
  }
  return true;
}

bool DbStep::nextResult() {
  if (!ok()) return false;
  int32_t out1 = 0;
  int32_t out2 = 0;
  if (page_.api->DbNextResult(db_, &out1, &out2, 0) < 0) {
    failStatement(CodeDbResultFailed);
    return false;
  }
  return true;
}

bool DbStep::skipResults(int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    if (!nextResult()) return false;
  }
  return ok();
}

void DbStep::nextResultUnchecked() {
  if (!ok()) return;
  int32_t out1 = 0;
  int32_t out2 = 0;
  page_.api->DbNextResult(db_, &out1, &out2, 0);
}

void DbStep::bindText(char* target, int32_t size) {
  if (target == nullptr || size <= 0) return;
  target[0] = '\0';
  if (ok()) page_.api->DbBindColumn(db_, DbColumnText, size, target);
}

void DbStep::bindChar(char* target) {
  if (target == nullptr) return;
  *target = '\0';
  if (ok()) page_.api->DbBindColumn(db_, DbColumnChar, 0, target);
}

void DbStep::bindInt(int32_t* target) {
  if (target == nullptr) return;
  *target = 0;
  if (ok()) page_.api->DbBindColumn(db_, DbColumnInt, 0, target);
}

bool DbStep::fetch() { return ok() && page_.api->DbFetch(db_) >= 0; }

int32_t DbStep::fetchAll() {
  return fetchEach([] {});
}

void DbStep::close() {
  if (db_ != nullptr && statementOpen_) page_.api->DbCloseCursor(db_);
  statementOpen_ = false;
}

void DbStep::startStatement(const char* tag) {
  if (!ok()) return;
  close();
  tooLong_ = false;
  page_.api->DbSetTag(db_, tag, 1, 0);
  statementOpen_ = true;
}

void DbStep::release() {
  close();
  if (db_ != nullptr && owns_) page_.api->DbRelease(db_);
  db_ = nullptr;
}

void DbStep::markFailed() {
  failed_ = true;
  if (owner_ != nullptr) owner_->failed_ = true;
}

void DbStep::failStatement(int32_t code) {
  release();
  markFailed();
  FailCode(page_, code);
}

int32_t CheckDatabasesOnline(const PageState& page) {
  if (page.api->IsDbOffline(page.api) != 0) return FailCode(page, CodeDbOffline);
  return 0;
}

int32_t DbStep::fail(int32_t code) {
  release();
  if (failed_) return kFailed;
  markFailed();
  return FailCode(page_, code);
}

int32_t DbStep::failText(const char* text, ReplyPage to) {
  release();
  if (failed_) return kFailed;
  markFailed();
  return FailText(page_, text, to);
}

int32_t DbStep::failLogin(int32_t code) {
  release();
  if (failed_) return kFailed;
  markFailed();
  return FailLogin(page_, code);
}

}  // namespace om
