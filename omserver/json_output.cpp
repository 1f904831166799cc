#include "json_output.h"

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
  return out;
}

}  // namespace omserver
