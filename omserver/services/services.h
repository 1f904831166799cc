// How tests and the omserver command line set up the host's other services and read what
// they kept. Everything lives in the data directory's host.sqlite, so a setting made by
// one Host object (or one omserver process) holds for every later one on the same data.
#ifndef OM_OMSERVER_SERVICES_SERVICES_H
#define OM_OMSERVER_SERVICES_SERVICES_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host.h"

namespace omserver::services {

// ---- Slots a test can make fail -------------------------------------------------------
// The slots whose failure switch exists (config "fail.SLOT"): each then answers negative.
extern const char* const kFailableSlots[];
// Throws std::invalid_argument for a slot without a switch.
void SetSlotFailing(Host& host, const std::string& slot, bool failing);

// ---- Mail -----------------------------------------------------------------------------
struct StoredMail {
  int64_t id = 0;
  int64_t request = 0;  // number of the request that sent it (shared by its other outputs)
  int64_t at = 0;       // host clock
  std::string to, subject, body;
  bool sent = false;
  std::string reason;
};
std::vector<StoredMail> Mails(Host& host);
// From the n-th mail after this call on (1 = every mail), sending fails; nothing: all go out.
void SetMailFailFrom(Host& host, std::optional<int32_t> n);
void ClearMails(Host& host);

// ---- Event log, event records, noted failures -------------------------------------------
struct StoredLogEntry {
  int64_t id = 0, request = 0, at = 0;
  int32_t accountId = 0, characterId = 0;
  std::string tag, detail;
};
std::vector<StoredLogEntry> EventLog(Host& host);

struct StoredEventRecord {
  int64_t id = 0, request = 0, at = 0;
  std::string raw;  // the 932 bytes as posted
};
std::vector<StoredEventRecord> EventRecords(Host& host);

struct StoredFailure {
  int64_t id = 0, request = 0, at = 0;
  std::string page;  // PageUrl of the request
};
std::vector<StoredFailure> NotedFailures(Host& host);

// ---- Checks and numbers ---------------------------------------------------------------
// The databases' offline switch, answered by IsDbOffline (and by DbOpen with -6).
void SetDbOffline(Host& host, bool offline);
bool DbOffline(Host& host);

enum class SwitchState { On, Off, Unreadable };
// A feature switch; nothing returns it to the default, which is on.
void SetFeatureSwitch(Host& host, int32_t feature, std::optional<SwitchState> state);
std::map<int32_t, SwitchState> FeatureSwitches(Host& host);
const char* SwitchName(SwitchState state);
std::optional<SwitchState> ParseSwitch(const std::string& text);

// Names ScreenName refuses (compared without regard to letter case).
void AddScreenedName(Host& host, const std::string& name);
void RemoveScreenedName(Host& host, const std::string& name);
std::vector<std::string> ScreenedNames(Host& host);

// The seed of RandomRange (config "seed", also used for session ids). Setting it, even to
// the same value, starts the generator afresh; nothing makes it unpredictable again.
void SetSeed(Host& host, const std::optional<std::string>& seed);
// The number GetHostNumber answers (config "host_number", default 1).
void SetHostNumber(Host& host, std::optional<int32_t> number);

// ---- Text cipher ------------------------------------------------------------------------
// The host's text cipher: upper-case hexadecimal, two digits per byte of the text plus one
// check byte, keyed by the whole key text.
std::string Encipher(const std::string& text, const std::string& key);
// The text back, or nothing when the cipher text is not one made with this key.
std::optional<std::string> Decipher(const std::string& cipher, const std::string& key);

// ---- Game servers -------------------------------------------------------------------------
// The integer fields of a server, by the names the command line and ServerConfig use.
std::vector<std::string> ServerFieldNames();
struct ServerConfig {
  int32_t rid = 0;
  std::string gsid;
  std::string name;        // serverName
  std::string accessText;  // checked with QueryServerAccess when not empty
  std::map<std::string, int32_t> fields;  // by ServerFieldNames(); absent fields are 0
  std::vector<std::pair<std::string, std::string>> vars;  // the server's named variables
};
// Adds the server or replaces the one with the same rid. Throws std::invalid_argument for
// rid 0, an unknown field name or a gsid another server already has.
void AddServer(Host& host, const ServerConfig& server);
// Changes one field ("gsid", "name", "access" or one of ServerFieldNames()) of a known server.
void SetServerField(Host& host, int32_t rid, const std::string& field, const std::string& value);
void SetServerVar(Host& host, int32_t rid, const std::string& name, const std::optional<std::string>& value);
bool RemoveServer(Host& host, int32_t rid);
std::vector<ServerConfig> Servers(Host& host);

// The status QueryServerAccess answers for an access text (default 0).
void SetAccessStatus(Host& host, const std::string& text, std::optional<int32_t> status);
std::map<std::string, int32_t> AccessStatuses(Host& host);

// What QueryAccountRecord answers: the status (default 0) and the ticket text (default a
// new "JT..." ticket per request).
void SetJoinTicketAnswer(Host& host, std::optional<int32_t> status, std::optional<std::string> ticket);
std::vector<JoinTicketOutcome> JoinTicketRequests(Host& host);

// The feature entries QueryProductRecord returns for a product family (at most 16 are sent).
struct ProductFeature {
  int32_t pfid = 0;
  int32_t features = 0;
};
void SetProduct(Host& host, int32_t pfid, const std::vector<ProductFeature>& entries);
std::map<int32_t, std::vector<ProductFeature>> Products(Host& host);

// The list the last SetAccountCodes call handed over; nothing before the first call.
std::optional<std::vector<std::string>> LastAccountCodes(Host& host);

// RegisterHost: the status it answers (default 0) and what it was asked.
void SetRegisterHostStatus(Host& host, std::optional<int32_t> status);
std::vector<HostRegistration> HostRegistrations(Host& host);

// ---- Waiting line -------------------------------------------------------------------------
// A player is admitted when they are first in their server's line and the server has free
// places (each admission takes one); a test may also admit the head of a line directly.
struct QueueEntry {
  std::string ticket;
  int32_t rid = 0;        // 0 while the ticket is in no line yet
  std::string state;      // new, waiting, granted, admitted, cancelled, ended, done
  int32_t position = 0;   // 1 = first, for waiting tickets; else 0
};
std::vector<QueueEntry> QueueEntries(Host& host, std::optional<int32_t> rid = std::nullopt);
// Lets the first waiting player of the server's line in at their next poll; their ticket.
std::optional<std::string> AdmitHead(Host& host, int32_t rid);
// Sets the server's free places (the server field "places").
void SetFreePlaces(Host& host, int32_t rid, int32_t places);
// Ends a player's wait: the next poll answers -2. False when the ticket is unknown.
bool EndWait(Host& host, const std::string& ticket);
// Seconds without a poll after which a wait ends (config "queue_timeout", default 120, 0 never).
void SetQueueTimeout(Host& host, std::optional<int64_t> seconds);

}  // namespace omserver::services

#endif
