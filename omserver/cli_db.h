// `omserver init-db`, `omserver db-fault` and `omserver continue-login`: the stand-in's
// databases from the command line.
#ifndef OM_OMSERVER_CLI_DB_H
#define OM_OMSERVER_CLI_DB_H

#include "cli.h"

namespace omserver::cli {

int RunInitDb(const Args& args);
int RunDbFault(const Args& args);
// Writes a continuation token as the service's login page would for a login that waits
// for the terms of service: the continueloginvalue row and the enciphered
// "CONTINUELOGINDATA" cookie value (printed, and put into a jar when one is given).
int RunContinueLogin(const Args& args);

}  // namespace omserver::cli

#endif
