// `omserver init-db` and `omserver db-fault`: the stand-in's databases from the command line.
#ifndef OM_OMSERVER_CLI_DB_H
#define OM_OMSERVER_CLI_DB_H

#include "cli.h"

namespace omserver::cli {

int RunInitDb(const Args& args);
int RunDbFault(const Args& args);

}  // namespace omserver::cli

#endif
