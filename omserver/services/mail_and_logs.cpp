// The mail outbox (SendMail), the event log (LogEvent), event records (PostEventRecord)
// and noted failures (NoteFailure). Each output is kept in host.sqlite under the request's
// number as it happens, and in the request's outcome.
#include <cstring>

#include "services.h"
#include "slots.h"
#include "slots_guard.h"
#include "store.h"

namespace omserver::services {
namespace {

// Why an address cannot take a mail; empty when it can. A line break would let the address
// or subject write headers of its own.
std::string AddressFault(const std::string& to) {
  if (to.empty()) return "no address";
  if (to.find_first_of(" \t\r\n,;<>\"") != std::string::npos) return "the address holds a blank, a line break or a separator";
  size_t at = to.find('@');
  if (at == std::string::npos || at == 0 || at + 1 == to.size() || to.find('@', at + 1) != std::string::npos) {
    return "not an address of the form name@domain";
  }
  return "";
}

}  // namespace

std::vector<StoredMail> Mails(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<StoredMail> mails;
    Statement statement =
        db.prepare("SELECT id, request, at, recipient, subject, body, sent, reason FROM svc_mail ORDER BY id");
    while (statement.step()) {
      mails.push_back({statement.columnInt(0), statement.columnInt(1), statement.columnInt(2), statement.columnText(3),
                       statement.columnText(4), statement.columnText(5), statement.columnInt(6) != 0,
                       statement.columnText(7)});
    }
    return mails;
  });
}

void SetMailFailFrom(Host& host, std::optional<int32_t> n) {
  if (n && *n < 1) throw std::invalid_argument("the first failing mail is counted from 1");
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "mail_fail_from", n ? std::optional<std::string>(std::to_string(*n)) : std::nullopt);
    SetValueIn(db, "mail_attempts", "0");
  });
}

void ClearMails(Host& host) {
  WithServices(host, [](SqliteDb& db) { db.exec("DELETE FROM svc_mail"); });
}

std::vector<StoredLogEntry> EventLog(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<StoredLogEntry> entries;
    Statement statement =
        db.prepare("SELECT id, request, at, account_id, character_id, tag, detail FROM svc_event_log ORDER BY id");
    while (statement.step()) {
      entries.push_back({statement.columnInt(0), statement.columnInt(1), statement.columnInt(2),
                         static_cast<int32_t>(statement.columnInt(3)), static_cast<int32_t>(statement.columnInt(4)),
                         statement.columnText(5), statement.columnText(6)});
    }
    return entries;
  });
}

std::vector<StoredEventRecord> EventRecords(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<StoredEventRecord> records;
    Statement statement = db.prepare("SELECT id, request, at, record FROM svc_event_records ORDER BY id");
    while (statement.step()) {
      const void* blob = sqlite3_column_blob(statement.raw(), 3);
      int size = sqlite3_column_bytes(statement.raw(), 3);
      records.push_back({statement.columnInt(0), statement.columnInt(1), statement.columnInt(2),
                         blob ? std::string(static_cast<const char*>(blob), static_cast<size_t>(size)) : std::string()});
    }
    return records;
  });
}

std::vector<StoredFailure> NotedFailures(Host& host) {
  return WithServices(host, [](SqliteDb& db) {
    std::vector<StoredFailure> failures;
    Statement statement = db.prepare("SELECT id, request, at, page FROM svc_failures ORDER BY id");
    while (statement.step()) {
      failures.push_back({statement.columnInt(0), statement.columnInt(1), statement.columnInt(2), statement.columnText(3)});
    }
    return failures;
  });
}

}  // namespace omserver::services

namespace omserver::slots {

using namespace omserver::services;

int32_t SendMail(HostApi* api, const char* to, const char* subject, const char* body) {
  RequestState& state = StateOf(api);
  return Guarded(state, "SendMail", -1, [&]() -> int32_t {
    std::optional<std::string> toText = PluginText(to);
    std::optional<std::string> subjectText = PluginText(subject);
    std::optional<std::string> bodyText = PluginText(body);
    if (!toText || !subjectText || !bodyText) {
      state.log("SendMail: a null (or unterminated) address, subject or body");
      return -1;
    }
    MailOutcome mail{*toText, *subjectText, *bodyText, false, AddressFault(*toText)};
    if (mail.reason.empty() && subjectText->find_first_of("\r\n") != std::string::npos) {
      mail.reason = "the subject holds a line break";
    }
    if (!mail.reason.empty()) state.log("SendMail: " + mail.reason + ": \"" + *toText + "\"");
    int64_t now = state.host.now();
    WithServices(state.host, [&](SqliteDb& db) {
      int64_t attempt = NextCountIn(db, "mail_attempts");
      int64_t failFrom = ConfigNumberIn(db, "mail_fail_from", 0);
      if (mail.reason.empty() && failFrom > 0 && attempt >= failFrom) {
        mail.reason = "sending made to fail from mail " + std::to_string(failFrom) + " on";
      }
      mail.sent = mail.reason.empty();
      db.prepare("INSERT INTO svc_mail (request, at, recipient, subject, body, sent, reason) VALUES (?, ?, ?, ?, ?, ?, ?)")
          .bind(1, RequestNumberIn(db, state))
          .bind(2, now)
          .bind(3, mail.to)
          .bind(4, mail.subject)
          .bind(5, mail.body)
          .bind(6, int64_t{mail.sent ? 1 : 0})
          .bind(7, mail.reason)
          .run();
    });
    state.result.mails.push_back(mail);
    Trace(state, "SendMail " + mail.to + " -> " + (mail.sent ? "0" : "-1 (" + mail.reason + ")"));
    return mail.sent ? 0 : -1;
  });
}

int32_t LogEvent(HostApi* api, int32_t accountId, int32_t characterId, const char* tag, const char* detail) {
  RequestState& state = StateOf(api);
  return Guarded(state, "LogEvent", -1, [&]() -> int32_t {
    std::optional<std::string> tagText = PluginText(tag);
    std::optional<std::string> detailText = PluginText(detail);
    if (!tagText) {
      state.log("LogEvent: null (or unterminated) tag");
      return -1;
    }
    if (!detailText) {
      state.log("LogEvent: null (or unterminated) detail, kept as empty");
      detailText = "";
    }
    LogEntry entry{accountId, characterId, *tagText, *detailText};
    int64_t now = state.host.now();
    WithServices(state.host, [&](SqliteDb& db) {
      db.prepare("INSERT INTO svc_event_log (request, at, account_id, character_id, tag, detail) VALUES (?, ?, ?, ?, ?, ?)")
          .bind(1, RequestNumberIn(db, state))
          .bind(2, now)
          .bind(3, int64_t{accountId})
          .bind(4, int64_t{characterId})
          .bind(5, entry.tag)
          .bind(6, entry.detail)
          .run();
    });
    state.result.eventLog.push_back(entry);
    Trace(state, "LogEvent " + entry.tag + " -> 0");
    return 0;
  });
}

int32_t PostEventRecord(HostApi* api, EventRecord* record) {
  RequestState& state = StateOf(api);
  return Guarded(state, "PostEventRecord", -1, [&]() -> int32_t {
    if (record == nullptr) {
      state.log("PostEventRecord: null record");
      return -1;
    }
    std::string raw(sizeof(EventRecord), '\0');
    std::memcpy(raw.data(), record, sizeof(EventRecord));
    int64_t now = state.host.now();
    WithServices(state.host, [&](SqliteDb& db) {
      Statement insert = db.prepare("INSERT INTO svc_event_records (request, at, record) VALUES (?, ?, ?)");
      insert.bind(1, RequestNumberIn(db, state)).bind(2, now);
      if (sqlite3_bind_blob(insert.raw(), 3, raw.data(), static_cast<int>(raw.size()), SQLITE_TRANSIENT) != SQLITE_OK) {
        throw SqliteError("binding the event record failed");
      }
      insert.run();
    });
    state.result.eventRecords.push_back(raw);
    int32_t code;
    std::memcpy(&code, raw.data() + offsetof(EventRecord, eventCode), sizeof code);
    Trace(state, "PostEventRecord " + std::to_string(code) + " -> 0");
    return 0;
  });
}

int32_t NoteFailure(HostApi* api) {
  RequestState& state = StateOf(api);
  return Guarded(state, "NoteFailure", -1, [&]() -> int32_t {
    int64_t now = state.host.now();
    WithServices(state.host, [&](SqliteDb& db) {
      db.prepare("INSERT INTO svc_failures (request, at, page) VALUES (?, ?, ?)")
          .bind(1, RequestNumberIn(db, state))
          .bind(2, now)
          .bind(3, state.incoming.pageUrl)
          .run();
    });
    ++state.result.failuresNoted;
    Trace(state, "NoteFailure -> 0");
    return 0;
  });
}

}  // namespace omserver::slots
