// The pages of the demo site that are not plug-ins: the stand-in for the service's login
// (outside the plug-ins: it fills the table loginvalue and sets the login cookies), the
// host's mail outbox, and the game servers page where the people who run the site see and
// change the game servers, their waiting lines and the product records.
#ifndef OM_OMSERVER_HTTP_DEMO_PAGES_H
#define OM_OMSERVER_HTTP_DEMO_PAGES_H

#include <cstdint>
#include <string>

#include "host.h"
#include "reply_page.h"
#include "request.h"
#include "site.h"

namespace omserver::http {

// The "OMD" cookie of a login whose account has no player yet. The player pages take only
// a complete login (every number above 0), so an account's first player could not be
// created without one; this number names no player (player ids stay far below it).
inline constexpr int32_t kNoPlayerYet = 2147483647;

// POST /login with "handle", "password" and an optional "next" page: checks the pair in the
// account database (table login; the account must be active), writes a loginvalue row and
// sets "OMV", "OMI", "OMD" and "CHAR": the account's default player, else its primary
// player, else its first active one by name, else kNoPlayerYet and an empty name.
HttpReply Login(const Site& site, Host& host, const NameValues& form);
// Clears the login cookies.
HttpReply Logout(const Site& site);

// The mail outbox: every mail the host took, newest first, with recipient, subject and
// body escaped, and the links a mail carries as links into this site.
std::string MailPanel(Host& host);

// The game servers, their waiting lines and the product records, with the forms that
// change them (each posting to a path under /servers/).
std::string ServersPanel(Host& host);
// POST /servers/ACTION: add (rid, gsid, name, access, fields "NAME=N ...", vars
// "NAME=VALUE" lines), set (rid, field, value), var (rid, name, value, remove), places (rid,
// places), admit (rid), remove (rid), product (pfid, entries "PFID:FEATURES ..."). Answers
// with a redirect back to the servers page that says what was done, or an error page that
// says what was wrong (nothing is changed then).
HttpReply ServersAction(const Site& site, Host& host, const std::string& action, const NameValues& form);

}  // namespace omserver::http

#endif
