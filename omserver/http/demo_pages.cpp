#include "demo_pages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "db/schema.h"
#include "http_text.h"
#include "services/services.h"
#include "sqlite_db.h"

namespace omserver::http {
namespace {

std::string Value(const NameValues& values, const std::string& name) {
  for (const auto& [key, value] : values) {
    if (key == name) return value;
  }
  return {};
}

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// A whole decimal number of 32 bits, or nothing (no blanks inside, no trailing letters).
std::optional<int32_t> Int32(const std::string& text) {
  std::string digits = Trimmed(text);
  if (digits.empty()) return std::nullopt;
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(digits.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0' || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

// A field's value as the form gives it: a number, or for the addresses also "A.B.C.D".
std::optional<int32_t> FieldNumber(const std::string& field, const std::string& text) {
  if ((field == "address" || field == "baffle-address") && text.find('.') != std::string::npos) {
    std::optional<uint32_t> address = ParseClientAddress(Trimmed(text));
    if (!address) return std::nullopt;
    return static_cast<int32_t>(*address);
  }
  return Int32(text);
}

int32_t RequiredInt(const NameValues& form, const std::string& name, const std::string& what) {
  std::optional<int32_t> value = Int32(Value(form, name));
  if (!value) throw std::invalid_argument(what + " must be a whole number (\"" + Value(form, name) + "\" is not one).");
  return *value;
}

// Splits at blanks and line ends.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    line = Trimmed(line);
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

std::string QueryEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// A message of the services as a sentence of a page: capital first, full stop last.
std::string Sentence(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  if (!text.empty() && text.back() != '.' && text.back() != ')') text += '.';
  return text;
}

HttpReply LoginRefused(const Site& site, const std::string& text) {
  HttpReply reply = ErrorPage(site, 200, "Login", text);
  reply.summary = "login refused";
  return reply;
}

// The player the login names: the default, else the primary player, else the first by name.
std::optional<std::pair<int64_t, std::string>> LoginPlayer(SqliteDb& db, int64_t cid) {
  Statement player = db.prepare(
      "SELECT c.chid, c.name FROM character c WHERE c.cid = ?1 AND c.state = 'A' "
      "ORDER BY CASE WHEN c.isdefault IN ('y', 'Y') THEN 0 "
      "WHEN c.chid IN (SELECT p.chid FROM primarycharacter p WHERE p.cid = ?1) THEN 1 ELSE 2 END, c.name LIMIT 1");
  player.bind(1, cid);
  if (!player.step()) return std::nullopt;
  return std::make_pair(player.columnInt(0), player.columnText(1));
}

// The site address of a link a mail carries: its path and query, when it is one of ours.
std::optional<std::string> SiteLink(const std::string& href) {
  if (!IsSafeTarget(href)) return std::nullopt;
  std::string rest = href;
  for (const char* scheme : {"http://", "https://"}) {
    if (rest.rfind(scheme, 0) == 0) {
      size_t slash = rest.find('/', std::string(scheme).size());
      rest = slash == std::string::npos ? std::string("/") : rest.substr(slash);
    }
  }
  if (rest.empty() || rest[0] != '/' || rest.rfind("//", 0) == 0) return std::nullopt;
  return rest;
}

std::vector<std::string> MailLinks(const std::string& body) {
  std::vector<std::string> links;
  size_t at = 0;
  while ((at = body.find("href=\"", at)) != std::string::npos) {
    at += 6;
    size_t end = body.find('"', at);
    if (end == std::string::npos) break;
    if (std::optional<std::string> link = SiteLink(body.substr(at, end - at))) links.push_back(*link);
    at = end;
  }
  return links;
}

std::string Hidden(const std::string& name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + HtmlEscape(name) + "\" value=\"" + HtmlEscape(value) + "\">";
}

std::string Field(const std::string& label, const std::string& name, const std::string& value = "",
                  const std::string& type = "text") {
  return "<label><span>" + HtmlEscape(label) + "</span> <input type=\"" + type + "\" name=\"" + HtmlEscape(name) +
         "\" value=\"" + HtmlEscape(value) + "\"></label>";
}

// The server's non-zero fields; the numeric addresses as the dotted text they stand for.
std::string FieldsText(const services::ServerConfig& server) {
  std::string text;
  for (const auto& [name, value] : server.fields) {
    if (value == 0 || name == "places") continue;
    std::string shown = std::to_string(value);
    if (name == "address" || name == "baffle-address") {
      uint32_t address = static_cast<uint32_t>(value);
      shown = std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
              std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
    }
    text += (text.empty() ? "" : " ") + name + "=" + shown;
  }
  return text;
}

}  // namespace

HttpReply Login(const Site& site, Host& host, const NameValues& form) {
  std::string handle = Value(form, "handle");
  std::string password = Value(form, "password");
  if (handle.empty() || password.empty()) return LoginRefused(site, "Please give your account name and password.");

  SqliteDb db = db::OpenDatabase(host, db::kAccountDatabase);
  sqlite3_busy_timeout(db.raw(), 5000);
  if (db.scalarText("SELECT count(*) FROM login").value_or("0") == "0") {
    return ErrorPage(site, 503, "No accounts yet",
                     "The account database holds no accounts yet. Create the demo data with \"omserver init-db "
                     "--demo\", or an account on the account page, and log in again.");
  }
  Statement account = db.prepare("SELECT cid, status FROM login WHERE handle = ? AND password = ? AND state = 'A'");
  account.bind(1, handle).bind(2, password);
  if (!account.step()) return LoginRefused(site, "That account name and password do not match an account.");
  int64_t cid = account.columnInt(0);
  std::string status = account.columnText(1);
  if (status != "A" && status != "a") {
    std::string why = status == "P" || status == "p" ? "is waiting for its activation (the code is in the mail outbox)"
                      : status == "S" || status == "s" ? "is suspended"
                      : status == "D" || status == "d" ? "is marked for deletion"
                                                        : "is not active";
    return LoginRefused(site, "This account " + why + ".");
  }

  std::random_device random;
  int64_t value = 1 + static_cast<int64_t>(random() % 2147483646u);
  db.prepare("INSERT INTO loginvalue (cid, value, created) VALUES (?, ?, datetime('now'))").bind(1, cid).bind(2, value).run();
  std::optional<std::pair<int64_t, std::string>> player = LoginPlayer(db, cid);

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
  cookie("OMD", std::to_string(player ? player->first : int64_t{kNoPlayerYet}));
  cookie("CHAR", player ? player->second : std::string());
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

std::string MailPanel(Host& host) {
  std::vector<services::StoredMail> mails = services::Mails(host);
  if (mails.empty()) return "<p class=\"notice\">No mail has been sent yet.</p>\n";
  std::sort(mails.begin(), mails.end(), [](const auto& a, const auto& b) { return a.id > b.id; });
  std::string html;
  for (const services::StoredMail& mail : mails) {
    html += "<article class=\"mail\" id=\"mail-" + std::to_string(mail.id) + "\">\n";
    html += "<p><b>To:</b> <span class=\"to\">" + HtmlEscape(mail.to) + "</span><br><b>Subject:</b> <span class=\"subject\">" +
            HtmlEscape(mail.subject) + "</span>";
    if (!mail.sent) html += "<br><b>Not sent:</b> " + HtmlEscape(mail.reason.empty() ? std::string("refused") : mail.reason);
    html += "</p>\n<pre class=\"body\">" + HtmlEscape(mail.body) + "</pre>\n";
    for (const std::string& link : MailLinks(mail.body)) {
      html += "<p>Link in this mail: <a class=\"mail-link\" href=\"" + HtmlEscape(link) + "\">" + HtmlEscape(link) + "</a></p>\n";
    }
    html += "</article>\n";
  }
  return html;
}

std::string ServersPanel(Host& host) {
  std::string html;
  std::vector<services::ServerConfig> servers = services::Servers(host);
  html += "<h2>Game servers</h2>\n";
  if (servers.empty()) {
    html += "<p class=\"notice\">The host knows no game server yet: add one below.</p>\n";
  } else {
    html += "<div class=\"scroll\"><table id=\"server-table\">\n<tr><th>rid</th><th>gsid</th><th>name</th><th>access</th>"
            "<th>fields</th><th>variables</th><th>free places</th><th>waiting line</th><th></th></tr>\n";
    for (const services::ServerConfig& server : servers) {
      std::string rid = std::to_string(server.rid);
      auto places = server.fields.find("places");
      std::string vars;
      for (const auto& [name, value] : server.vars) vars += HtmlEscape(name) + "=" + HtmlEscape(value) + "<br>";
      std::string line;
      for (const services::QueueEntry& entry : services::QueueEntries(host, server.rid)) {
        if (entry.state != "waiting" && entry.state != "granted") continue;
        line += HtmlEscape(entry.ticket) + " " + HtmlEscape(entry.state) +
                (entry.position > 0 ? " #" + std::to_string(entry.position) : std::string()) + "<br>";
      }
      html += "<tr id=\"server-" + rid + "\"><td>" + rid + "</td><td>" + HtmlEscape(server.gsid) + "</td><td>" +
              HtmlEscape(server.name) + "</td><td>" + HtmlEscape(server.accessText) + "</td><td>" +
              HtmlEscape(FieldsText(server)) + "</td><td>" + vars + "</td><td class=\"places\">" +
              std::to_string(places == server.fields.end() ? 0 : places->second) + "</td><td class=\"line\">" +
              (line.empty() ? std::string("empty") : line) + "</td><td>" +
              "<form method=\"post\" action=\"/servers/admit\" id=\"admit-" + rid + "\">" + Hidden("rid", rid) +
              "<button type=\"submit\">Admit the first in line</button></form>" +
              "<form method=\"post\" action=\"/servers/places\" id=\"places-" + rid + "\">" + Hidden("rid", rid) +
              "<input type=\"number\" name=\"places\" value=\"1\" min=\"0\"> <button type=\"submit\">Set free places</button></form>" +
              "<form method=\"post\" action=\"/servers/remove\" id=\"remove-" + rid + "\">" + Hidden("rid", rid) +
              "<button type=\"submit\">Remove</button></form></td></tr>\n";
    }
    html += "</table></div>\n";
  }

  html += "<h2>Product records</h2>\n";
  std::map<int32_t, std::vector<services::ProductFeature>> products = services::Products(host);
  if (products.empty()) {
    html += "<p class=\"notice\">No product records yet.</p>\n";
  } else {
    html += "<table id=\"product-table\"><tr><th>product family</th><th>entries (family:features)</th></tr>\n";
    for (const auto& [pfid, entries] : products) {
      std::string text;
      for (const services::ProductFeature& entry : entries) {
        text += (text.empty() ? "" : " ") + std::to_string(entry.pfid) + ":" + std::to_string(entry.features);
      }
      html += "<tr id=\"product-" + std::to_string(pfid) + "\"><td>" + std::to_string(pfid) + "</td><td>" + HtmlEscape(text) +
              "</td></tr>\n";
    }
    html += "</table>\n";
  }

  std::string fieldNames;
  for (const std::string& name : services::ServerFieldNames()) fieldNames += (fieldNames.empty() ? "" : ", ") + name;
  html += "<h2>Change</h2>\n<div class=\"grid\">\n";
  html += "<form class=\"card\" method=\"post\" action=\"/servers/add\" id=\"server-add\"><h3>Add or replace a server</h3>" +
          Field("Record id (rid)", "rid", "", "number") + Field("Game server id", "gsid") + Field("Name", "name") +
          Field("Access text", "access") + Field("Fields (NAME=N ...)", "fields", "queued=1 own=1 places=0") +
          "<label><span>Variables (NAME=VALUE a line)</span> <textarea name=\"vars\" rows=\"3\" cols=\"24\"></textarea></label>"
          "<p class=\"hint\">Fields: " + HtmlEscape(fieldNames) + ".</p><button type=\"submit\">Save server</button></form>\n";
  html += "<form class=\"card\" method=\"post\" action=\"/servers/set\" id=\"server-set\"><h3>Change a field</h3>" +
          Field("Record id (rid)", "rid", "", "number") + Field("Field", "field") + Field("Value", "value") +
          "<p class=\"hint\">gsid, name, access or one of the fields.</p><button type=\"submit\">Change</button></form>\n";
  html += "<form class=\"card\" method=\"post\" action=\"/servers/var\" id=\"server-var\"><h3>Set a server variable</h3>" +
          Field("Record id (rid)", "rid", "", "number") + Field("Name", "name") + Field("Value", "value") +
          "<label><span>Remove it</span> <input type=\"checkbox\" name=\"remove\" value=\"1\"></label>"
          "<button type=\"submit\">Set variable</button></form>\n";
  html += "<form class=\"card\" method=\"post\" action=\"/servers/product\" id=\"product-set\"><h3>Set a product record</h3>" +
          Field("Product family", "pfid", "", "number") + Field("Entries (PFID:FEATURES ...)", "entries") +
          "<button type=\"submit\">Set product</button></form>\n";
  html += "</div>\n";
  return html;
}

HttpReply ServersAction(const Site& site, Host& host, const std::string& action, const NameValues& form) {
  std::string note;
  try {
    if (action == "add") {
      services::ServerConfig server;
      server.rid = RequiredInt(form, "rid", "The record id");
      server.gsid = Trimmed(Value(form, "gsid"));
      server.name = Value(form, "name");
      server.accessText = Value(form, "access");
      for (const std::string& word : Words(Value(form, "fields"))) {
        size_t equals = word.find('=');
        std::optional<int32_t> number =
            equals == std::string::npos ? std::nullopt : FieldNumber(word.substr(0, equals), word.substr(equals + 1));
        if (!number) throw std::invalid_argument("A field is written NAME=N (\"" + word + "\" is not).");
        server.fields[word.substr(0, equals)] = *number;
      }
      for (const std::string& line : Lines(Value(form, "vars"))) {
        size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) {
          throw std::invalid_argument("A variable is written NAME=VALUE (\"" + line + "\" is not).");
        }
        server.vars.emplace_back(line.substr(0, equals), line.substr(equals + 1));
      }
      services::AddServer(host, server);
      note = "Server " + std::to_string(server.rid) + " saved.";
    } else if (action == "set") {
      int32_t rid = RequiredInt(form, "rid", "The record id");
      std::string field = Trimmed(Value(form, "field"));
      std::string value = Value(form, "value");
      if (field == "address" || field == "baffle-address") {
        std::optional<int32_t> number = FieldNumber(field, value);
        if (!number) throw std::invalid_argument("The " + field + " is a number or A.B.C.D (\"" + value + "\" is neither).");
        value = std::to_string(*number);
      }
      services::SetServerField(host, rid, field, value);
      note = "Server " + std::to_string(rid) + ": " + field + " changed.";
    } else if (action == "var") {
      int32_t rid = RequiredInt(form, "rid", "The record id");
      std::string name = Trimmed(Value(form, "name"));
      if (name.empty()) throw std::invalid_argument("The variable needs a name.");
      bool remove = !Value(form, "remove").empty();
      services::SetServerVar(host, rid, name, remove ? std::nullopt : std::optional<std::string>(Value(form, "value")));
      note = "Server " + std::to_string(rid) + ": variable " + name + (remove ? " removed." : " set.");
    } else if (action == "places") {
      int32_t rid = RequiredInt(form, "rid", "The record id");
      int32_t places = RequiredInt(form, "places", "The number of free places");
      services::SetFreePlaces(host, rid, places);
      note = "Server " + std::to_string(rid) + ": " + std::to_string(places) + " free places.";
    } else if (action == "admit") {
      int32_t rid = RequiredInt(form, "rid", "The record id");
      std::optional<std::string> ticket = services::AdmitHead(host, rid);
      note = ticket ? "Server " + std::to_string(rid) + ": " + *ticket + " may join at its next poll."
                    : "Server " + std::to_string(rid) + ": nobody is waiting.";
    } else if (action == "remove") {
      int32_t rid = RequiredInt(form, "rid", "The record id");
      note = services::RemoveServer(host, rid) ? "Server " + std::to_string(rid) + " removed."
                                               : "There is no server " + std::to_string(rid) + ".";
    } else if (action == "product") {
      int32_t pfid = RequiredInt(form, "pfid", "The product family");
      std::vector<services::ProductFeature> entries;
      for (const std::string& word : Words(Value(form, "entries"))) {
        size_t colon = word.find(':');
        std::optional<int32_t> family = colon == std::string::npos ? std::nullopt : Int32(word.substr(0, colon));
        std::optional<int32_t> features = colon == std::string::npos ? std::nullopt : Int32(word.substr(colon + 1));
        if (!family || !features) throw std::invalid_argument("An entry is written PFID:FEATURES (\"" + word + "\" is not).");
        entries.push_back({*family, *features});
      }
      services::SetProduct(host, pfid, entries);
      note = "Product family " + std::to_string(pfid) + ": " + std::to_string(entries.size()) + " entries.";
    } else {
      return ErrorPage(site, 404, "Not found", "The game servers page has no action \"" + action + "\".");
    }
  } catch (const std::logic_error& error) {  // invalid_argument, out_of_range: the form's fault
    HttpReply reply = ErrorPage(site, 400, "Not changed", Sentence(error.what()) + " Nothing was changed.");
    reply.summary = "servers " + action + " refused";
    return reply;
  }
  HttpReply reply;
  reply.status = 303;
  reply.summary = "servers " + action;
  reply.headers.emplace_back("Location", "/servers.html?note=" + QueryEncode(note));
  return reply;
}

}  // namespace omserver::http
