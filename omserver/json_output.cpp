#include "json_output.h"

#include "services/event_records.h"

namespace omserver {
namespace {

nlohmann::ordered_json OptionalText(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json Object(const NameValues& values) {
  nlohmann::ordered_json object = nlohmann::ordered_json::object();
  for (const auto& [name, value] : values) object[name] = value;
  return object;
}

// What the host's other services received and answered during the request.
void AddServiceOutputs(nlohmann::ordered_json& out, const RequestResult& result) {
  nlohmann::ordered_json mails = nlohmann::ordered_json::array();
  for (const MailOutcome& mail : result.mails) {
    mails.push_back({{"to", mail.to}, {"subject", mail.subject}, {"body", mail.body}, {"sent", mail.sent}, {"reason", mail.reason}});
  }
  out["mails"] = mails;
  nlohmann::ordered_json log = nlohmann::ordered_json::array();
  for (const LogEntry& entry : result.eventLog) {
    log.push_back({{"accountId", entry.accountId}, {"characterId", entry.characterId}, {"tag", entry.tag}, {"detail", entry.detail}});
  }
  out["eventLog"] = log;
  nlohmann::ordered_json records = nlohmann::ordered_json::array();
  for (const std::string& raw : result.eventRecords) records.push_back(services::EventRecordJson(raw));
  out["eventRecords"] = records;
  out["failuresNoted"] = result.failuresNoted;
  out["accountCodes"] = result.accountCodes ? nlohmann::ordered_json(*result.accountCodes) : nlohmann::ordered_json(nullptr);
  nlohmann::ordered_json hosts = nlohmann::ordered_json::array();
  for (const HostRegistration& host : result.hostRegistrations) {
    hosts.push_back({{"accountId", host.accountId}, {"loginValue", host.loginValue}, {"pfid", host.pfid},
                     {"characterId", host.characterId}, {"status", host.status}, {"hostKey", host.hostKey}});
  }
  out["hostRegistrations"] = hosts;
  nlohmann::ordered_json tickets = nlohmann::ordered_json::array();
  for (const JoinTicketOutcome& ticket : result.joinTickets) {
    tickets.push_back({{"accountId", ticket.accountId}, {"loginValue", ticket.loginValue}, {"characterId", ticket.characterId},
                       {"userId", ticket.userId}, {"rid", ticket.rid}, {"serverAddress", ticket.serverAddress},
                       {"serverPort", ticket.serverPort}, {"status", ticket.status}, {"ticket", ticket.ticket}});
  }
  out["joinTickets"] = tickets;
  out["serviceCalls"] = result.serviceCalls;
}

}  // namespace

nlohmann::ordered_json PluginJson(const Plugin& plugin) {
  return {{"name", plugin.name()},
          {"interfaceId", plugin.info().interfaceId},
          {"version", plugin.info().version},
          {"built", plugin.info().built}};
}

nlohmann::ordered_json ResultJson(const Plugin& plugin, const RequestResult& result) {
  nlohmann::ordered_json out;
  out["plugin"] = PluginJson(plugin);
  nlohmann::ordered_json replies = nlohmann::ordered_json::array();
  for (const ReplyCall& reply : result.replies) {
    nlohmann::ordered_json call;
    call["call"] = reply.call;
    call["word"] = OptionalText(reply.word);
    if (reply.call == "Redirect") {
      call["url"] = OptionalText(reply.url);
      call["zero"] = reply.zero;
    } else {
      call["msgbase"] = OptionalText(reply.msgbase);
      call["code"] = reply.code;
      call["text"] = OptionalText(reply.text);
      call["target"] = OptionalText(reply.target);
      call["delay"] = reply.delay;
    }
    replies.push_back(call);
  }
  out["replies"] = replies;
  out["cookies"] = Object(result.cookies);
  out["replyVars"] = Object(result.replyVars);
  out["body"] = result.body;
  nlohmann::ordered_json sessions = nlohmann::ordered_json::array();
  for (const SessionOutcome& session : result.sessions) {
    sessions.push_back({{"keyed", session.keyed},
                        {"tag", session.tag},
                        {"cookie", session.cookie},
                        {"id", session.id},
                        {"isNew", session.isNew},
                        {"closed", session.closed},
                        {"end", session.end},
                        {"varsWritten", session.varsWritten}});
  }
  out["sessions"] = sessions;
  out["hostLog"] = result.hostLog;
  AddServiceOutputs(out, result);
  return out;
}

}  // namespace omserver
