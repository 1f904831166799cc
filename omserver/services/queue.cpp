// The waiting line of full game servers (QueueEnter, QueuePoll, QueueCancel).
//
// A ticket joins the line of a server at its first poll for that server and keeps its
// place by polling. The line of a server is first-in-first-out: a player is admitted when
// they are first and the server has a free place (the server field "places", one taken per
// admission), or when a test admits the head of the line. A wait ends (answered -2 once)
// when a test ends it or when the player has not polled for the line's timeout. The
// ticket lives in a browser cookie beyond one conversation, so a ticket whose wait is over
// (admitted, cancelled, ended, or unknown after the data was reset) joins the line afresh
// at its next poll instead of locking the player out.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "game_servers.h"
#include "services.h"
#include "slots.h"
#include "slots_guard.h"
#include "store.h"

namespace omserver::services {
namespace {

constexpr size_t kTicketLongest = 64;
constexpr int64_t kDefaultTimeout = 120;

// A ticket the host could have issued: letters, digits and '-', at most 64 of them.
bool WellFormedTicket(const std::string& ticket) {
  if (ticket.empty() || ticket.size() > kTicketLongest) return false;
  for (char c : ticket) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
    if (!ok) return false;
  }
  return true;
}

struct TicketRow {
  int32_t rid = 0;
  int64_t seq = 0;
  std::string state;
};

std::optional<TicketRow> TicketIn(SqliteDb& db, const std::string& ticket) {
  Statement statement = db.prepare("SELECT rid, seq, state FROM svc_queue WHERE ticket = ?");
  statement.bind(1, ticket);
  if (!statement.step()) return std::nullopt;
  return TicketRow{static_cast<int32_t>(statement.columnInt(0)), statement.columnInt(1), statement.columnText(2)};
}

void SetTicketState(SqliteDb& db, const std::string& ticket, const char* state) {
  db.prepare("UPDATE svc_queue SET state = ? WHERE ticket = ?").bind(1, state).bind(2, ticket).run();
}

int64_t WaitingAheadIn(SqliteDb& db, int32_t rid, int64_t seq) {
  Statement statement = db.prepare("SELECT COUNT(*) FROM svc_queue WHERE rid = ? AND state = 'waiting' AND seq < ?");
  statement.bind(1, int64_t{rid}).bind(2, seq);
  statement.step();
  return statement.columnInt(0);
}

int64_t WaitingIn(SqliteDb& db, int32_t rid) { return WaitingAheadIn(db, rid, INT64_MAX); }

bool Waits(const std::string& state) { return state == "waiting" || state == "granted"; }

struct PollAnswer {
  int32_t state = -3;
  int32_t position = 0;
  int32_t length = 0;
  std::string note;
};

PollAnswer PollIn(SqliteDb& db, const std::string& ticket, int32_t rid, int64_t now) {
  PollAnswer answer;
  std::optional<TicketRow> row = TicketIn(db, ticket);
  std::optional<int32_t> queued = ServerFieldIn(db, rid, "queued");
  if (!queued || *queued == 0) {
    if (row && row->rid == rid && Waits(row->state)) SetTicketState(db, ticket, "done");
    answer.state = -1;
    answer.note = queued ? "the server does not queue" : "no such server";
    return answer;
  }
  int64_t timeout = ConfigNumberIn(db, "queue_timeout", kDefaultTimeout);
  if (timeout > 0) {
    db.prepare("UPDATE svc_queue SET state = 'ended' WHERE rid = ? AND state = 'waiting' AND polled < ?")
        .bind(1, int64_t{rid})
        .bind(2, now - timeout)
        .run();
    row = TicketIn(db, ticket);
  }
  if (!row) {
    db.prepare("INSERT INTO svc_queue (ticket, rid, seq, state, entered, polled) VALUES (?, 0, 0, 'new', ?, ?)")
        .bind(1, ticket)
        .bind(2, now)
        .bind(3, now)
        .run();
    row = TicketRow{0, 0, "new"};
    answer.note = "unknown ticket taken into the line; ";
  }
  if (row->state == "ended") {
    SetTicketState(db, ticket, "done");
    answer.state = -2;
    answer.note += "the wait has ended";
    return answer;
  }
  if (row->rid != rid || !Waits(row->state)) {
    row->seq = NextCountIn(db, "queue_seq");
    row->rid = rid;
    row->state = "waiting";
    db.prepare("UPDATE svc_queue SET rid = ?, seq = ?, state = 'waiting', entered = ? WHERE ticket = ?")
        .bind(1, int64_t{rid})
        .bind(2, row->seq)
        .bind(3, now)
        .bind(4, ticket)
        .run();
  }
  db.prepare("UPDATE svc_queue SET polled = ? WHERE ticket = ?").bind(1, now).bind(2, ticket).run();
  if (row->state == "granted") {
    SetTicketState(db, ticket, "admitted");
    answer.state = 0;
    answer.note += "admitted by the line";
  } else {
    answer.position = static_cast<int32_t>(WaitingAheadIn(db, rid, row->seq) + 1);
    int32_t places = ServerFieldIn(db, rid, "places").value_or(0);
    if (answer.position == 1 && places > 0) {
      SetServerFieldIn(db, rid, "places", places - 1);
      SetTicketState(db, ticket, "admitted");
      answer.state = 0;
      answer.position = 0;
      answer.note += "admitted to a free place";
    } else {
      answer.state = 1;
      answer.note += "waiting";
    }
  }
  answer.length = static_cast<int32_t>(WaitingIn(db, rid));
  return answer;
}

}  // namespace

std::vector<QueueEntry> QueueEntries(Host& host, std::optional<int32_t> rid) {
  return WithServices(host, [&](SqliteDb& db) {
    std::vector<QueueEntry> entries;
    Statement statement = db.prepare(
        "SELECT ticket, rid, seq, state FROM svc_queue WHERE ?1 IS NULL OR rid = ?1 ORDER BY rid, state <> 'waiting', seq, ticket");
    if (rid) {
      statement.bind(1, int64_t{*rid});
    } else {
      statement.bindNull(1);
    }
    while (statement.step()) {
      QueueEntry entry{statement.columnText(0), static_cast<int32_t>(statement.columnInt(1)), statement.columnText(3), 0};
      if (entry.state == "waiting") entry.position = static_cast<int32_t>(WaitingAheadIn(db, entry.rid, statement.columnInt(2)) + 1);
      entries.push_back(entry);
    }
    return entries;
  });
}

std::optional<std::string> AdmitHead(Host& host, int32_t rid) {
  return WithServices(host, [&](SqliteDb& db) -> std::optional<std::string> {
    Statement statement = db.prepare("SELECT ticket FROM svc_queue WHERE rid = ? AND state = 'waiting' ORDER BY seq LIMIT 1");
    statement.bind(1, int64_t{rid});
    if (!statement.step()) return std::nullopt;
    std::string ticket = statement.columnText(0);
    SetTicketState(db, ticket, "granted");
    return ticket;
  });
}

void SetFreePlaces(Host& host, int32_t rid, int32_t places) {
  if (places < 0) throw std::invalid_argument("a server cannot have fewer than 0 free places");
  WithServices(host, [&](SqliteDb& db) {
    if (!ServerFieldIn(db, rid, "places")) throw std::invalid_argument("no server with rid " + std::to_string(rid));
    SetServerFieldIn(db, rid, "places", places);
  });
}

bool EndWait(Host& host, const std::string& ticket) {
  return WithServices(host, [&](SqliteDb& db) {
    if (!TicketIn(db, ticket)) return false;
    SetTicketState(db, ticket, "ended");
    return true;
  });
}

void SetQueueTimeout(Host& host, std::optional<int64_t> seconds) {
  WithServices(host, [&](SqliteDb& db) {
    SetConfigIn(db, "queue_timeout", seconds ? std::optional<std::string>(std::to_string(*seconds)) : std::nullopt);
  });
}

}  // namespace omserver::services

namespace omserver::slots {

using namespace omserver::services;

int32_t QueueEnter(HostApi* api, char* ticket, int32_t ticketSize) {
  RequestState& state = StateOf(api);
  return Guarded(state, "QueueEnter", -1, [&]() -> int32_t {
    if (ticket == nullptr || ticketSize <= 0) {
      state.log("QueueEnter: null ticket buffer or a size of " + std::to_string(ticketSize));
      return -1;
    }
    ticket[0] = '\0';
    if (RefusedBySwitch(state, "QueueEnter")) return -1;
    uint64_t draw = DrawRandom(state.host);
    int64_t now = state.host.now();
    std::optional<std::string> issued = WithServices(state.host, [&](SqliteDb& db) -> std::optional<std::string> {
      char text[48];
      std::snprintf(text, sizeof text, "Q%06lld-%08llX", static_cast<long long>(NextCountIn(db, "queue_tickets")),
                    static_cast<unsigned long long>(draw & 0xFFFFFFFFull));
      if (std::strlen(text) + 1 > static_cast<size_t>(ticketSize)) return std::nullopt;
      db.prepare("INSERT INTO svc_queue (ticket, rid, seq, state, entered, polled) VALUES (?, 0, 0, 'new', ?, ?)")
          .bind(1, text)
          .bind(2, now)
          .bind(3, now)
          .run();
      return std::string(text);
    });
    if (!issued) {
      state.log("QueueEnter: a ticket buffer of " + std::to_string(ticketSize) + " bytes is too small");
      Trace(state, "QueueEnter -> -1 (buffer too small)");
      return -1;
    }
    CopyOut(*issued, ticket, ticketSize);
    Trace(state, "QueueEnter -> 0 (ticket " + *issued + ")");
    return 0;
  });
}

int32_t QueuePoll(HostApi* api, const char* ticket, int32_t serverId, int32_t* lineState, int32_t* position, int32_t* third) {
  RequestState& state = StateOf(api);
  return Guarded(state, "QueuePoll", -1, [&]() -> int32_t {
    std::optional<std::string> ticketText = PluginText(ticket);
    if (!ticketText || lineState == nullptr || position == nullptr) {
      state.log("QueuePoll: a null ticket, state or position pointer");
      return -1;
    }
    if (!WellFormedTicket(*ticketText)) {
      state.log("QueuePoll: \"" + ticketText->substr(0, kTicketLongest) + "\" is not a ticket of this line");
      return -1;
    }
    if (RefusedBySwitch(state, "QueuePoll")) return -1;
    int64_t now = state.host.now();
    PollAnswer answer = WithServices(state.host, [&](SqliteDb& db) {
      Transaction transaction(db);
      PollAnswer polled = PollIn(db, *ticketText, serverId, now);
      transaction.commit();
      return polled;
    });
    *lineState = answer.state;
    *position = answer.position;
    if (third != nullptr) *third = answer.length;
    Trace(state, "QueuePoll " + *ticketText + " rid=" + std::to_string(serverId) + " -> 0 (state " +
                     std::to_string(answer.state) + ", position " + std::to_string(answer.position) + ": " + answer.note + ")");
    return 0;
  });
}

int32_t QueueCancel(HostApi* api, const char* ticket, int32_t serverId) {
  RequestState& state = StateOf(api);
  return Guarded(state, "QueueCancel", -1, [&]() -> int32_t {
    std::optional<std::string> ticketText = PluginText(ticket);
    if (!ticketText || !WellFormedTicket(*ticketText)) {
      state.log("QueueCancel: a null ticket or one this line never issues");
      return -1;
    }
    if (RefusedBySwitch(state, "QueueCancel")) return -1;
    std::string note = WithServices(state.host, [&](SqliteDb& db) -> std::string {
      std::optional<TicketRow> row = TicketIn(db, *ticketText);
      if (!row) return "unknown ticket, nothing to withdraw";
      SetTicketState(db, *ticketText, "cancelled");
      if (row->rid != 0 && row->rid != serverId) return "withdrawn from the line of server " + std::to_string(row->rid);
      return "withdrawn";
    });
    Trace(state, "QueueCancel " + *ticketText + " rid=" + std::to_string(serverId) + " -> 0 (" + note + ")");
    return 0;
  });
}

}  // namespace omserver::slots
