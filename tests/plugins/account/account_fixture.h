// What the OMAccount tests share: a fresh stand-in host with its databases, the real
// plug-in, a browser per visitor, and the account database for fixtures and checks.
#ifndef OM_TESTS_PLUGINS_ACCOUNT_ACCOUNT_FIXTURE_H
#define OM_TESTS_PLUGINS_ACCOUNT_ACCOUNT_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/schema.h"
#include "sqlite_db.h"
#include "test_support.h"

namespace accounttest {

using omserver::NameValues;
using omserver::ReplyCall;
using omserver::RequestResult;
using omserver::RequestSpec;

constexpr char kPageUrl[] = "/OMAccount";

// The reply pages every form of the site names.
inline NameValues ReplyPages() {
  return {{"success", "/ok.htm"}, {"failure", "/failed.htm"}, {"msgbase", "/msg"}, {"relay", "/relay.htm"}};
}

// A form posting action with the reply pages and the given fields.
inline RequestSpec Form(const std::string& action, const NameValues& fields) {
  RequestSpec incoming;
  incoming.pageUrl = kPageUrl;
  incoming.form = ReplyPages();
  incoming.form.emplace_back("action", action);
  for (const auto& field : fields) incoming.form.push_back(field);
  return incoming;
}

// The same page requested again by the relay page, with nothing but the browser's cookies.
inline RequestSpec PostBack() {
  RequestSpec incoming;
  incoming.pageUrl = kPageUrl;
  return incoming;
}

class AccountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plugin_ = omtest::LoadPlugin("OMAccount");
    ASSERT_NE(plugin_, nullptr);
    host_ = std::make_unique<omserver::Host>(data_.path());
    omserver::db::CreateDatabases(*host_);
    db_ = std::make_unique<omserver::SqliteDb>(omserver::db::OpenDatabase(*host_, 1));
  }

  omtest::Browser NewBrowser() { return omtest::Browser(*host_, *plugin_); }

  // Runs a conversation: the form, then the relay's post-backs until a final reply. Every
  // request's result is kept in order.
  std::vector<RequestResult> Converse(omtest::Browser& browser, const RequestSpec& form, int maxRequests = 4) {
    std::vector<RequestResult> results;
    results.push_back(browser.visit(form));
    while (static_cast<int>(results.size()) < maxRequests && !results.back().replies.empty() &&
           results.back().replies.back().word == "RELAY") {
      results.push_back(browser.visit(PostBack()));
    }
    // The host notes misuse (a connection left open, a statement dropped, a slot called
    // wrongly) and the faults a test sets; nothing else may show up.
    if (!faultsSet_) {
      for (const RequestResult& result : results) {
        for (const std::string& line : result.hostLog) ADD_FAILURE() << "host noted: " << line;
      }
    }
    return results;
  }
  std::vector<RequestResult> Converse(const RequestSpec& form) {
    omtest::Browser browser = NewBrowser();
    return Converse(browser, form);
  }

  void Sql(const std::string& sql) { db_->exec(sql); }
  std::string Scalar(const std::string& sql) { return db_->scalarText(sql).value_or("<none>"); }

  // A live account; returns its cid.
  int64_t AddAccount(const std::string& handle, const std::string& password, const std::string& email,
                     const std::string& status = "A") {
    db_->prepare("INSERT INTO login (handle, password, email, status, state) VALUES (?, ?, ?, ?, 'A')")
        .bind(1, handle).bind(2, password).bind(3, email).bind(4, status).run();
    return db_->lastInsertRowId();
  }
  void AddRestriction(int64_t cid, int64_t chid, int64_t bits, const std::string& status = "A") {
    db_->prepare("INSERT INTO om_assigned_restrictions (cid, chid, om_restrictions_binaryVal, status) VALUES (?, ?, ?, ?)")
        .bind(1, cid).bind(2, chid).bind(3, bits).bind(4, status).run();
  }
  void AddLoginValue(int64_t cid, int64_t value) {
    db_->prepare("INSERT INTO loginvalue (cid, value) VALUES (?, ?)").bind(1, cid).bind(2, value).run();
  }
  // The login cookies of a visitor logged in to cid with this login value.
  static NameValues LoginCookies(int64_t cid, int64_t value, int64_t chid = 1) {
    return {{"OMV", std::to_string(value)}, {"OMI", std::to_string(cid)}, {"OMD", std::to_string(chid)}};
  }

  bool faultsSet_ = false;  // the test sets database faults, which the host notes
  omtest::TempDir data_;
  std::unique_ptr<omserver::Plugin> plugin_;
  std::unique_ptr<omserver::Host> host_;
  std::unique_ptr<omserver::SqliteDb> db_;
};

// Reply matchers: each names what it expected and shows what came.
inline std::string Describe(const ReplyCall& r) {
  return r.call + " " + r.word.value_or("-") + " msgbase=" + r.msgbase.value_or("<null>") +
         " code=" + std::to_string(r.code) + " text=" + r.text.value_or("<null>") +
         " target=" + r.target.value_or("<null>") + " url=" + r.url.value_or("<null>") +
         " delay=" + std::to_string(r.delay);
}

inline const ReplyCall& Final(const std::vector<RequestResult>& conversation) {
  return omtest::OnlyReply(conversation.back());
}

inline void ExpectCodeFailure(const ReplyCall& r, int code, const char* target = "/failed.htm") {
  EXPECT_EQ(r.call, "Respond") << Describe(r);
  EXPECT_EQ(r.word, "FAILURE") << Describe(r);
  EXPECT_EQ(r.msgbase, "/msg") << Describe(r);
  EXPECT_EQ(r.code, code) << Describe(r);
  EXPECT_EQ(r.text, std::nullopt) << Describe(r);
  EXPECT_EQ(r.target, target) << Describe(r);
  EXPECT_EQ(r.delay, -1) << Describe(r);
}

inline void ExpectTextSuccess(const ReplyCall& r, const std::string& text) {
  EXPECT_EQ(r.call, "Respond") << Describe(r);
  EXPECT_EQ(r.word, "SUCCESS") << Describe(r);
  EXPECT_EQ(r.msgbase, "/msg") << Describe(r);
  EXPECT_EQ(r.code, 0) << Describe(r);
  EXPECT_EQ(r.text, text) << Describe(r);
  EXPECT_EQ(r.target, "/ok.htm") << Describe(r);
  EXPECT_EQ(r.delay, -1) << Describe(r);
}

inline void ExpectTextFailure(const ReplyCall& r, const std::string& text, const char* target) {
  EXPECT_EQ(r.call, "Respond") << Describe(r);
  EXPECT_EQ(r.word, "FAILURE") << Describe(r);
  EXPECT_EQ(r.msgbase, "/msg") << Describe(r);
  EXPECT_EQ(r.code, 0) << Describe(r);
  EXPECT_EQ(r.text, text) << Describe(r);
  EXPECT_EQ(r.target, target) << Describe(r);
  EXPECT_EQ(r.delay, -1) << Describe(r);
}

inline void ExpectBareFailure(const ReplyCall& r, int code, const std::optional<std::string>& text) {
  EXPECT_EQ(r.call, "Respond") << Describe(r);
  EXPECT_EQ(r.word, "FAILURE") << Describe(r);
  EXPECT_EQ(r.msgbase, std::nullopt) << Describe(r);
  EXPECT_EQ(r.code, code) << Describe(r);
  EXPECT_EQ(r.text, text) << Describe(r);
  EXPECT_EQ(r.target, std::nullopt) << Describe(r);
  EXPECT_EQ(r.delay, -1) << Describe(r);
}

inline void ExpectRelay(const ReplyCall& r, const std::string& text, int delay) {
  EXPECT_EQ(r.call, "Respond") << Describe(r);
  EXPECT_EQ(r.word, "RELAY") << Describe(r);
  EXPECT_EQ(r.msgbase, "/relay.htm") << Describe(r);
  EXPECT_EQ(r.code, 0) << Describe(r);
  EXPECT_EQ(r.text, text) << Describe(r);
  EXPECT_EQ(r.target, kPageUrl) << Describe(r);
  EXPECT_EQ(r.delay, delay) << Describe(r);
}

inline void ExpectRedirectSuccess(const ReplyCall& r) {
  EXPECT_EQ(r.call, "Redirect") << Describe(r);
  EXPECT_EQ(r.word, "SUCCESS") << Describe(r);
  EXPECT_EQ(r.url, "/ok.htm") << Describe(r);
  EXPECT_EQ(r.zero, 0) << Describe(r);
}

// The end flag the session was closed with.
inline int32_t ClosedWith(const RequestResult& result) {
  EXPECT_EQ(result.sessions.size(), 1u);
  return result.sessions.empty() ? -1 : result.sessions.front().end;
}

// A field of a posted event record.
inline int32_t RecordInt(const std::string& raw, size_t offset) {
  int32_t value = 0;
  if (raw.size() >= offset + 4) std::memcpy(&value, raw.data() + offset, 4);
  return value;
}
inline std::string RecordText(const std::string& raw, size_t offset, size_t size) {
  if (raw.size() < offset + size) return "<short record>";
  return std::string(raw.data() + offset, strnlen(raw.data() + offset, size));
}

}  // namespace accounttest

#endif
