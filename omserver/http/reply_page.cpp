#include "reply_page.h"

#include <algorithm>

#include "http_text.h"

namespace omserver::http {
namespace {

const std::string* Find(const NameValues& values, const std::string& name) {
  for (const auto& [key, value] : values) {
    if (key == name) return &value;
  }
  return nullptr;
}

std::string Escaped(const NameValues& values, const std::string& name) {
  const std::string* value = Find(values, name);
  return value ? HtmlEscape(*value) : std::string();
}

std::string Target(const std::optional<std::string>& target) {
  if (!target || target->empty() || !IsSafeTarget(*target)) return {};
  return *target;
}

void AddCookies(HttpReply& reply, const RequestResult& result) {
  for (const auto& [name, value] : result.cookies) {
    reply.headers.emplace_back("Set-Cookie", CookieEncode(name, true) + "=" + CookieEncode(value, false) + "; Path=/");
  }
}

HttpReply MessagePage(const Site& site, const std::string& plugin, const RequestSpec& incoming, const RequestResult& result,
                      const ReplyCall& call) {
  MessageValues message;
  message.word = call.word.value_or("");
  message.code = call.code;
  if (call.code != 0) message.message = site.message(call.code);
  message.text = call.text.value_or("");
  message.target = Target(call.target);
  message.delay = call.delay;
  message.plugin = plugin;
  bool relay = message.word == "RELAY";

  PageValues values{result.replyVars, result.body, CookiesAfter(incoming, result), incoming.query, message};
  HttpReply reply;
  reply.body = RenderPage(site, site.templateFor(call.msgbase, relay ? "relay.html" : "msgbase.html"), values);
  reply.summary = message.word.empty() ? "(no word)" : message.word;
  if (call.code != 0) reply.summary += " " + std::to_string(call.code);
  // An interim page must come back fresh every time it is shown.
  reply.headers.emplace_back("Cache-Control", "no-store");
  return reply;
}

}  // namespace

NameValues CookiesAfter(const RequestSpec& incoming, const RequestResult& result) {
  NameValues cookies = incoming.cookies;
  for (const auto& [name, value] : result.cookies) {
    auto found = std::find_if(cookies.begin(), cookies.end(), [&](const auto& pair) { return pair.first == name; });
    if (found != cookies.end()) {
      found->second = value;
    } else {
      cookies.emplace_back(name, value);
    }
  }
  return cookies;
}

std::string ReplyVarLines(const NameValues& values) {
  std::string out;
  for (const auto& [name, value] : values) {
    out += name;
    out += '=';
    for (char c : value) {
      if (c == '\\') {
        out += "\\\\";
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\r') {
        out += "\\r";
      } else {
        out += c;
      }
    }
    out += '\n';
  }
  return out;
}

std::string RenderPage(const Site& site, const std::string& page, const PageValues& values, const PlaceholderFn* extra) {
  const MessageValues empty;
  const MessageValues& message = values.message ? *values.message : empty;
  return site.render(page, [&](const std::string& name, const std::string& argument) -> std::optional<std::string> {
    if (extra != nullptr) {
      if (auto value = (*extra)(name, argument)) return value;
    }
    if (name == "replyvar") return Escaped(values.replyVars, argument);
    if (name == "cookie") return Escaped(values.cookies, argument);
    if (name == "query") return Escaped(values.query, argument);
    if (name == "body") return values.body;
    if (name == "login") {
      const std::string* account = Find(values.cookies, "OMI");
      if (account == nullptr || account->empty()) return std::string("not logged in");
      const std::string* player = Find(values.cookies, "CHAR");
      return "account " + HtmlEscape(*account) +
             (player && !player->empty() ? ", player " + HtmlEscape(*player) : std::string(", no player selected"));
    }
    if (name == "replyvars") {
      if (values.replyVars.empty()) return std::string();
      std::string list = "<dl class=\"replyvars\">";
      for (const auto& [key, value] : values.replyVars) list += "<dt>" + HtmlEscape(key) + "</dt><dd>" + HtmlEscape(value) + "</dd>";
      return list + "</dl>";
    }
    if (name == "word") return HtmlEscape(message.word);
    if (name == "wordclass") {
      std::string lower;
      for (char c : message.word) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      return HtmlEscape(lower);
    }
    if (name == "code") return message.code != 0 ? std::to_string(message.code) : std::string();
    if (name == "message") return HtmlEscape(message.message);
    if (name == "text") return message.text.empty() ? HtmlEscape(argument) : message.text;
    if (name == "target") return HtmlEscape(message.target);
    if (name == "delay") return std::to_string(std::max(message.delay, 0));
    if (name == "plugin") return HtmlEscape(message.plugin);
    if (name == "refresh") {
      if (message.target.empty() || message.delay < 0) return std::string();
      int32_t delay = std::min<int32_t>(message.delay, 3600);
      return "<meta http-equiv=\"refresh\" content=\"" + std::to_string(delay) + ";url=" + HtmlEscape(message.target) + "\">";
    }
    if (name == "link") {
      if (message.target.empty()) return std::string("<a href=\"/\">Back to the start page</a>");
      return "<a class=\"continue\" href=\"" + HtmlEscape(message.target) + "\">" +
             (argument.empty() ? std::string("Continue") : HtmlEscape(argument)) + "</a>";
    }
    return std::nullopt;
  });
}

HttpReply ErrorPage(const Site& site, int status, const std::string& title, const std::string& text) {
  MessageValues message;
  message.word = title;
  message.message = text;
  PageValues values;
  values.message = message;
  HttpReply reply;
  reply.status = status;
  reply.body = RenderPage(site, site.templateFor(std::nullopt, "error.html"), values);
  reply.summary = title;
  return reply;
}

HttpReply MapReply(const Site& site, const std::string& plugin, const RequestSpec& incoming, const RequestResult& result) {
  HttpReply reply;
  if (result.replies.empty()) {
    reply = ErrorPage(site, 500, "No reply", "The page " + plugin + " ended without sending a reply.");
    reply.summary = "no reply";
  } else if (incoming.kind == 2) {
    // A client caller reads the reply variables; how the page ended travels in headers.
    const ReplyCall& call = result.replies.front();
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = ReplyVarLines(result.replyVars);
    reply.summary = call.word.value_or("(no word)");
    if (call.code != 0) reply.summary += " " + std::to_string(call.code);
    reply.headers.emplace_back("X-Orbitmere-Reply", call.word.value_or(""));
    if (call.code != 0) reply.headers.emplace_back("X-Orbitmere-Code", std::to_string(call.code));
    std::string target = Target(call.call == "Redirect" ? call.url : call.target);
    if (!target.empty()) reply.headers.emplace_back("X-Orbitmere-Target", target);
    if (call.call == "Respond" && call.delay >= 0) reply.headers.emplace_back("X-Orbitmere-Delay", std::to_string(call.delay));
  } else if (result.replies.front().call == "Redirect") {
    const ReplyCall& call = result.replies.front();
    std::string target = Target(call.url);
    if (target.empty()) {
      reply = ErrorPage(site, 502, "No address",
                        "The page " + plugin + " sent the browser on, but to no address it may lead to (\"" +
                            call.url.value_or("") + "\").");
    } else {
      reply.status = 302;
      reply.headers.emplace_back("Location", target);
      reply.body = "<!DOCTYPE html>\n<p><a href=\"" + HtmlEscape(target) + "\">Continue</a></p>\n";
    }
    reply.summary = call.word.value_or("(no word)");
  } else {
    reply = MessagePage(site, plugin, incoming, result, result.replies.front());
  }
  AddCookies(reply, result);
  return reply;
}

}  // namespace omserver::http
