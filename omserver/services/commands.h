// The omserver subcommands that set up the host's other services and list what they kept
// (implemented in cli_services.cpp; rows of the subcommand table in main.cpp).
#ifndef OM_OMSERVER_SERVICES_COMMANDS_H
#define OM_OMSERVER_SERVICES_COMMANDS_H

#include "cli.h"

namespace omserver::cli {

int RunMail(const Args& args);
int RunLog(const Args& args);
int RunRecords(const Args& args);
int RunFailures(const Args& args);
int RunSwitch(const Args& args);
int RunScreen(const Args& args);
int RunSeed(const Args& args);
int RunClock(const Args& args);
int RunHostNumber(const Args& args);
int RunDbOffline(const Args& args);
int RunServer(const Args& args);
int RunAccess(const Args& args);
int RunQueue(const Args& args);
int RunTicket(const Args& args);
int RunProduct(const Args& args);
int RunHosts(const Args& args);
int RunCodes(const Args& args);
int RunCipher(const Args& args);
int RunFail(const Args& args);

}  // namespace omserver::cli

#endif
