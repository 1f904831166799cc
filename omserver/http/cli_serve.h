// `omserver serve`: the command that runs the page server over HTTP.
#ifndef OM_OMSERVER_HTTP_CLI_SERVE_H
#define OM_OMSERVER_HTTP_CLI_SERVE_H

#include "cli.h"

namespace omserver::cli {

int RunServe(const Args& args);

}  // namespace omserver::cli

#endif
