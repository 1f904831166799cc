// From what a plug-in did to what the browser (or the game client) receives: a redirect with
// its cookies, an interim relay page that leads on by itself, a message page with the text of
// the code, or the reply variables as lines of text for a client caller.
#ifndef OM_OMSERVER_HTTP_REPLY_PAGE_H
#define OM_OMSERVER_HTTP_REPLY_PAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "request.h"
#include "site.h"

namespace omserver::http {

struct HttpReply {
  int status = 200;
  std::string contentType = "text/html; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;  // in order; Set-Cookie may repeat
  std::string summary;  // the reply word and code, for the request log
};

// What a message or relay page tells; empty fields leave their placeholders empty.
struct MessageValues {
  std::string word;
  int32_t code = 0;
  std::string message;  // the message base's text of code
  std::string text;     // the plug-in's literal text: its own markup, put in unescaped
  std::string target;   // where the page leads on to; empty when there is none (or it was refused)
  int32_t delay = -1;   // seconds until the page leads on by itself; -1: it waits for the reader
  std::string plugin;
};

// Everything a site page may show.
struct PageValues {
  NameValues replyVars;  // of the plug-in request that led here
  std::string body;      // the text that request wrote (the plug-in's markup)
  NameValues cookies;    // the browser's cookies as they are after this reply
  NameValues query;      // the page's own query
  std::optional<MessageValues> message;
};

// Fills a page's placeholders: {{replyvar:NAME}}, {{cookie:NAME}}, {{query:NAME}} (escaped),
// {{login}} (who the login cookies name), {{body}} and {{text}} (the plug-in's markup; {{text:DEFAULT}} shows DEFAULT when there is none), {{replyvars}} (all of them as a list),
// {{word}} (and {{wordclass}}, in small letters), {{code}}, {{message}}, {{target}}, {{delay}}, {{plugin}}, {{refresh}} (the meta
// refresh of a page that leads on), {{link}} (the link to the target) and {{include:FILE}}.
// extra, when given, is asked first: the server's own placeholders of a page.
std::string RenderPage(const Site& site, const std::string& page, const PageValues& values,
                       const PlaceholderFn* extra = nullptr);

// The answer to one plug-in request. The first reply wins (the host log notes any other);
// no reply at all gives a 500 page. Cookies set by the plug-in go out with every answer.
HttpReply MapReply(const Site& site, const std::string& plugin, const RequestSpec& incoming, const RequestResult& result);

// A page of the server's own (not found, bad request, no reply ...), from the site's
// "error.html" when it has one.
HttpReply ErrorPage(const Site& site, int status, const std::string& title, const std::string& text);

// The browser's cookies after a reply: those it sent, updated by those the reply set.
NameValues CookiesAfter(const RequestSpec& incoming, const RequestResult& result);

// Lines "NAME=VALUE" for a client caller; a backslash, a carriage return or a line feed in a
// value is written as \\, \r or \n so that every variable stays on its line.
std::string ReplyVarLines(const NameValues& values);

}  // namespace omserver::http

#endif
