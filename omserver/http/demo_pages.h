// The pages of the demo site that are not plug-ins: the stand-in for the service's login
// (outside the plug-ins: it fills the table loginvalue and sets the login cookies), and the
// views of the host's mail outbox, game servers, waiting lines and product records.
#ifndef OM_OMSERVER_HTTP_DEMO_PAGES_H
#define OM_OMSERVER_HTTP_DEMO_PAGES_H

#include <filesystem>
#include <string>
#include <vector>

#include "host.h"
#include "reply_page.h"
#include "request.h"
#include "site.h"

namespace omserver::http {

// POST /login with "handle", "password" and an optional "next" page: checks the pair in the
// account database (db1.sqlite, table login), writes a loginvalue row and sets "OMV", "OMI",
// "OMD" and "CHAR" (the account's default player, else its first active one, if any).
HttpReply Login(const Site& site, const std::filesystem::path& dataDir, const NameValues& form);
// Clears the login cookies.
HttpReply Logout(const Site& site);

// The HTML of a panel over the host's state: the tables of host.sqlite whose names hold one
// of the words, newest rows first, every value escaped. Says so plainly when there is none.
std::string TablesPanel(Host& host, const std::vector<std::string>& words, const std::string& missing);

}  // namespace omserver::http

#endif
