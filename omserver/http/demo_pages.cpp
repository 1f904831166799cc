#include "demo_pages.h"

#include <optional>
#include <random>
#include <set>

#include "http_text.h"
#include "sqlite_db.h"

namespace omserver::http {
namespace {

const std::set<std::string> kHostCoreTables = {"config", "counters", "sessions", "session_vars", "session_options"};

std::string Value(const NameValues& values, const std::string& name) {
  for (const auto& [key, value] : values) {
    if (key == name) return value;
  }
  return {};
}

std::set<std::string> Columns(SqliteDb& db, const std::string& table) {
  std::set<std::string> columns;
  Statement info = db.prepare("SELECT name FROM pragma_table_info(?)");
  info.bind(1, table);
  while (info.step()) columns.insert(info.columnText(0));
  return columns;
}

bool HasColumns(SqliteDb& db, const std::string& table, const std::set<std::string>& wanted, std::string& missing) {
  std::set<std::string> columns = Columns(db, table);
  if (columns.empty()) {
    missing = "table " + table;
    return false;
  }
  for (const std::string& column : wanted) {
    if (!columns.count(column)) {
      missing = "column " + table + "." + column;
      return false;
    }
  }
  return true;
}

std::string QuotedName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

HttpReply LoginRefused(const Site& site, const std::string& text) {
  HttpReply reply = ErrorPage(site, 200, "Login", text);
  reply.summary = "login refused";
  return reply;
}

}  // namespace

HttpReply Login(const Site& site, const std::filesystem::path& dataDir, const NameValues& form) {
  std::filesystem::path path = dataDir / "db1.sqlite";
  if (!std::filesystem::exists(path)) {
    return ErrorPage(site, 503, "No account database",
                     "There is no account database (db1.sqlite) in the data directory yet. Create the demo data "
                     "with \"omserver init-db --demo\" and log in again.");
  }
  SqliteDb db(path.string());
  sqlite3_busy_timeout(db.raw(), 5000);
  std::string missing;
  if (!HasColumns(db, "login", {"handle", "password", "cid", "status"}, missing) ||
      !HasColumns(db, "loginvalue", {"cid", "value"}, missing)) {
    return ErrorPage(site, 503, "Account database not ready",
                     "The account database has no " + missing + ", so nobody can log in yet.");
  }
  std::string handle = Value(form, "handle");
  std::string password = Value(form, "password");
  if (handle.empty() || password.empty()) return LoginRefused(site, "Please give your account name and password.");

  Statement account = db.prepare("SELECT cid, status FROM login WHERE handle = ? AND password = ?");
  account.bind(1, handle).bind(2, password);
  if (!account.step()) return LoginRefused(site, "That account name and password do not match an account.");
  int64_t cid = account.columnInt(0);
  std::string status = account.columnText(1);
  if (status != "A" && status != "a") {
    std::string why = status == "P" || status == "p" ? "is waiting for its activation (see the mail outbox)"
                      : status == "S" || status == "s" ? "is suspended"
                      : status == "D" || status == "d" ? "is marked for deletion"
                                                        : "is not active";
    return LoginRefused(site, "This account " + why + ".");
  }

  std::random_device random;
  int64_t value = 1 + static_cast<int64_t>(random() % 2147483646u);
  db.prepare("INSERT INTO loginvalue (cid, value) VALUES (?, ?)").bind(1, cid).bind(2, value).run();

  int64_t chid = 0;
  std::string name;
  if (HasColumns(db, "character", {"cid", "chid", "name", "isdefault", "state"}, missing)) {
    Statement player = db.prepare(
        "SELECT chid, name FROM character WHERE cid = ? AND state = 'A' "
        "ORDER BY CASE WHEN isdefault IN ('y', 'Y') THEN 0 ELSE 1 END, name LIMIT 1");
    player.bind(1, cid);
    if (player.step()) {
      chid = player.columnInt(0);
      name = player.columnText(1);
    }
  }

  std::string next = Value(form, "next");
  if (next.empty() || !IsSafeTarget(next)) next = "/index.html";
  HttpReply reply;
  reply.status = 302;
  reply.summary = "login cid=" + std::to_string(cid);
  reply.headers.emplace_back("Location", next);
  auto cookie = [&](const std::string& cookieName, const std::string& text) {
    reply.headers.emplace_back("Set-Cookie", cookieName + "=" + CookieEncode(text, false) + "; Path=/");
  };
  cookie("OMV", std::to_string(value));
  cookie("OMI", std::to_string(cid));
  if (chid > 0) {
    cookie("OMD", std::to_string(chid));
    cookie("CHAR", name);
  } else {
    reply.headers.emplace_back("Set-Cookie", "OMD=; Path=/; Max-Age=0");
    reply.headers.emplace_back("Set-Cookie", "CHAR=; Path=/; Max-Age=0");
  }
  return reply;
}

HttpReply Logout(const Site& /*site*/) {
  HttpReply reply;
  reply.status = 302;
  reply.summary = "logout";
  reply.headers.emplace_back("Location", "/index.html");
  for (const char* name : {"OMV", "OMI", "OMD", "CHAR"}) {
    reply.headers.emplace_back("Set-Cookie", std::string(name) + "=; Path=/; Max-Age=0");
  }
  return reply;
}

std::string TablesPanel(Host& host, const std::vector<std::string>& words, const std::string& missing) {
  return host.withState([&](SqliteDb& db) {
    std::vector<std::string> tables;
    Statement list = db.prepare("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
    while (list.step()) {
      std::string name = list.columnText(0);
      if (kHostCoreTables.count(name) || name.rfind("sqlite_", 0) == 0) continue;
      for (const std::string& word : words) {
        if (name.find(word) != std::string::npos) {
          tables.push_back(name);
          break;
        }
      }
    }
    if (tables.empty()) return "<p class=\"notice\">" + HtmlEscape(missing) + "</p>\n";
    std::string html;
    for (const std::string& table : tables) {
      html += "<h2>" + HtmlEscape(table) + "</h2>\n";
      // Newest first where the table has row ids; in stored order where it has none.
      std::optional<Statement> newest;
      try {
        newest.emplace(db.prepare("SELECT * FROM " + QuotedName(table) + " ORDER BY rowid DESC LIMIT 100"));
      } catch (const SqliteError&) {
        newest.emplace(db.prepare("SELECT * FROM " + QuotedName(table) + " LIMIT 100"));
      }
      Statement& rows = *newest;
      html += "<div class=\"scroll\"><table>\n<tr>";
      for (int i = 0; i < rows.columnCount(); ++i) html += "<th>" + HtmlEscape(rows.columnName(i)) + "</th>";
      html += "</tr>\n";
      int count = 0;
      while (rows.step()) {
        ++count;
        html += "<tr>";
        for (int i = 0; i < rows.columnCount(); ++i) {
          html += "<td>" + (rows.isNull(i) ? std::string("<i>null</i>") : HtmlEscape(rows.columnText(i))) + "</td>";
        }
        html += "</tr>\n";
      }
      html += "</table></div>\n";
      if (count == 0) html += "<p class=\"notice\">No rows yet.</p>\n";
    }
    return html;
  });
}

}  // namespace omserver::http
