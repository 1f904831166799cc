// One database step: open (with the failure mapping), tag, append formatted SQL, execute,
// walk the results, bind, fetch and count, close, release, and the failure reply of every
// way this can go wrong. A step reads as its SQL and its decisions:
//
//   om::DbStep step(page, kAccountDatabase, "OMAccount.dll:GetInfo");
//   step.append(kSelectLoginValue, (long)page.login.AccountId, (long)page.login.LoginValue);
//   if (!step.execute() || !step.nextResult()) return om::kFailed;   // the step has replied
//   int32_t cid;
//   step.bindInt(&cid);
//   if (step.fetchAll() == 0) return step.failLogin();               // releases, then replies
//   step.release();
//
// Once a step has failed it has replied, closed the statement and (when it owns it) released
// the connection; every later call does nothing, and execute and nextResult return false.
// A step that is left without release() releases its connection when it goes out of scope,
// so every path gives the connection back exactly once.
#ifndef OM_FRAMEWORK_DB_STEP_H
#define OM_FRAMEWORK_DB_STEP_H

#include <stddef.h>
#include <stdint.h>

#include "host_api.h"
#include "page.h"
#include "replies.h"
#include "text.h"

namespace om {

// How a failed DbOpen is answered.
enum class DbOpenRule {
  Standard,                 // -6: 4005; -3, -4: the "nodb" page or 4000; other: 4000
  NoStatisticsDatabaseGoesOn,  // as Standard, but -4 means there is no statistics database:
                               // nothing is replied and absent() is true
};

// Room for one formatted statement text.
enum { DbStatementSize = 4096 };

class DbStep {
 public:
  // Opens a connection to the database and, when tag is not null, starts the first statement.
  DbStep(PageState& page, int32_t database, const char* tag, DbOpenRule rule = DbOpenRule::Standard);
  // A step on a connection another step opened: it starts its own statement with tag,
  // closes it, and leaves the connection's release to its owner (also when it fails). A
  // failure here also fails the owner, so that nothing else replies; the owner then only
  // releases.
  DbStep(DbStep& connection, const char* tag);
  ~DbStep();
  DbStep(const DbStep&) = delete;
  DbStep& operator=(const DbStep&) = delete;

  // True while the step holds a connection and nothing has failed.
  bool ok() const { return db_ != nullptr && !failed_; }
  // DbOpenRule::NoStatisticsDatabaseGoesOn and DbOpen said -4: no database, no reply.
  bool absent() const { return absent_; }

  // Formats one statement text and appends it to the statement being built. A text that
  // does not fit DbStatementSize is never sent: execute() then fails with 4001.
  void append(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Runs everything appended since the statement started; false after replying 4001.
  bool execute();
  // Moves to the next result; false after replying 4002.
  bool nextResult();
  // Passes over results the step does not read, each tested like nextResult.
  bool skipResults(int32_t count);
  // Moves on without looking at the outcome (a step that does not care whether it worked).
  void nextResultUnchecked();

  // Bind the next column of the current result. Each clears its target first, so a result
  // without rows leaves it empty or 0; a step that wants another preset sets it after binding.
  void bindText(char* target, int32_t size);
  template <size_t N>
  void bindText(char (&target)[N]) { bindText(target, static_cast<int32_t>(N)); }
  void bindChar(char* target);
  void bindInt(int32_t* target);

  // Reads one row into the bound targets; false when there is none (nothing written).
  bool fetch();
  // Reads every row; the targets keep the last. Returns the number of rows.
  int32_t fetchAll();
  // Reads every row and calls onRow() after each; returns the number of rows.
  template <class OnRow>
  int32_t fetchEach(OnRow&& onRow) {
    int32_t count = 0;
    while (fetch()) {
      ++count;
      onRow();
    }
    return count;
  }

  // Ends the statement (DbCloseCursor).
  void close();
  // Ends the statement and starts the next one on the same connection.
  void startStatement(const char* tag);
  // Ends the statement and gives the connection back (a borrowed step only ends its statement).
  void release();

  // A finding of the step: release, then the reply; -1. Nothing is replied twice: a step that
  // has already failed only returns -1.
  int32_t fail(int32_t code);
  int32_t failText(const char* text, ReplyPage to = ReplyPage::Failure);
  int32_t failLogin(int32_t code = CodeNotLoggedIn);

  DbHandle* handle() const { return db_; }
  PageState& page() const { return page_; }

 private:
  void failStatement(int32_t code);
  void markFailed();

  PageState& page_;
  DbHandle* db_ = nullptr;
  DbStep* owner_ = nullptr;  // the step whose connection this one borrows
  bool owns_ = true;
  bool statementOpen_ = false;
  bool failed_ = false;
  bool absent_ = false;
  bool tooLong_ = false;
};

// Asks the host whether its databases are offline before any connection is wanted: 0 when
// they are not, else -1 after replying 4005 (the same answer as a DbOpen error -6).
int32_t CheckDatabasesOnline(const PageState& page);

// A request text made safe inside a single-quoted SQL literal, in the 512 bytes every step
// quotes into: step.append(kSql, Quoted(page.name).text()).
class Quoted {
 public:
  explicit Quoted(const char* source) { SqlQuote(text_, PageTextSize, source); }
  const char* text() const { return text_; }

 private:
  char text_[PageTextSize];
};

}  // namespace om

#endif  // OM_FRAMEWORK_DB_STEP_H
