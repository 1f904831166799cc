// The omserver command line: one table of subcommands, each a function of its arguments.
#ifndef OM_OMSERVER_CLI_H
#define OM_OMSERVER_CLI_H

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace omserver::cli {

// A mistake in the command line: reported as one line, exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;

// Takes the value after an option, or throws UsageError.
std::string TakeValue(const Args& args, size_t& i);
// Splits NAME=VALUE, or throws UsageError.
std::pair<std::string, std::string> SplitAssignment(const std::string& option, const std::string& text);
// "a.b.c.d:port" into the host's numeric address and port, or throws UsageError.
void ParseClient(const std::string& text, uint32_t& address, int32_t& port);

int RunRequest(const Args& args);

struct Subcommand {
  const char* name;
  int (*run)(const Args& args);
  const char* usage;
};

// The table, ended by a row with a null name.
extern const Subcommand kSubcommands[];

}  // namespace omserver::cli

#endif
