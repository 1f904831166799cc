// omserver: the stand-in page server. `omserver help` lists the subcommands.
#include <cstring>
#include <iostream>

#include "cli.h"
#include "cli_db.h"

namespace omserver::cli {

const Subcommand kSubcommands[] = {
    {"request", RunRequest,
     "request --plugin PATH [--data DIR] [--kind N] [--page-url URL] [--client ADDR:PORT] "
     "[--src1 NAME=VALUE]... [--query NAME=VALUE]... [--form NAME=VALUE]... [--cookie NAME=VALUE]... [--jar FILE]"},
    {"init-db", RunInitDb, "init-db [--data DIR] [--demo]"},
    {"db-fault", RunDbFault,
     "db-fault [--data DIR] offline on|off | open DB ERROR|off | execute TAG on|off | next-result TAG K|off | list | clear"},
    {nullptr, nullptr, nullptr},
};

std::string TakeValue(const Args& args, size_t& i) {
  if (i + 1 >= args.size()) throw UsageError(args[i] + " needs a value");
  return args[++i];
}

std::pair<std::string, std::string> SplitAssignment(const std::string& option, const std::string& text) {
  size_t equals = text.find('=');
  if (equals == std::string::npos || equals == 0) throw UsageError(option + " needs NAME=VALUE, not \"" + text + "\"");
  return {text.substr(0, equals), text.substr(equals + 1)};
}

void ParseClient(const std::string& text, uint32_t& address, int32_t& port) {
  unsigned a, b, c, d, p;
  char tail;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u:%u%c", &a, &b, &c, &d, &p, &tail) != 5 || a > 255 || b > 255 ||
      c > 255 || d > 255 || p > 65535) {
    throw UsageError("--client needs ADDR:PORT such as 127.0.0.1:50000, not \"" + text + "\"");
  }
  address = (a << 24) | (b << 16) | (c << 8) | d;
  port = static_cast<int32_t>(p);
}

}  // namespace omserver::cli

namespace {

int Usage(std::ostream& out) {
  out << "usage: omserver SUBCOMMAND [OPTIONS]\n";
  for (const auto* row = omserver::cli::kSubcommands; row->name != nullptr; ++row) out << "  omserver " << row->usage << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(std::cerr);
  if (std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0) {
    Usage(std::cout);
    return 0;
  }
  omserver::cli::Args args(argv + 2, argv + argc);
  for (const auto* row = omserver::cli::kSubcommands; row->name != nullptr; ++row) {
    if (std::strcmp(argv[1], row->name) != 0) continue;
    try {
      return row->run(args);
    } catch (const omserver::cli::UsageError& error) {
      std::cerr << "omserver " << row->name << ": " << error.what() << "\n";
      return 2;
    } catch (const std::exception& error) {
      std::cerr << "omserver " << row->name << ": " << error.what() << "\n";
      return 1;
    }
  }
  std::cerr << "omserver: unknown subcommand " << argv[1] << "\n";
  return Usage(std::cerr);
}
