// omserver: the stand-in page server. `omserver help` lists the subcommands.
#include <cstring>
#include <iostream>

#include "cli.h"
#include "cli_db.h"
#include "services/commands.h"
#include "http/cli_serve.h"

namespace omserver::cli {

const Subcommand kSubcommands[] = {
    {"request", RunRequest,
     "request --plugin PATH [--data DIR] [--kind N] [--page-url URL] [--client ADDR:PORT] "
     "[--src1 NAME=VALUE]... [--query NAME=VALUE]... [--form NAME=VALUE]... [--cookie NAME=VALUE]... [--jar FILE]"},
    {"init-db", RunInitDb, "init-db [--data DIR] [--demo]"},
    {"db-fault", RunDbFault,
     "db-fault [--data DIR] offline on|off | open DB ERROR|off | execute TAG on|off | next-result TAG K|off | list | clear"},
    {"mail", RunMail, "mail list|clear|fail-from N|fail-off [--data DIR]   (the outbox; mails from the N-th on fail)"},
    {"log", RunLog, "log list [--data DIR]   (LogEvent entries)"},
    {"records", RunRecords, "records list [--data DIR]   (posted event records, field by field)"},
    {"failures", RunFailures, "failures list [--data DIR]   (NoteFailure calls)"},
    {"switch", RunSwitch, "switch list|set FEATURE on|off|unreadable|clear FEATURE [--data DIR]"},
    {"screen", RunScreen, "screen list|add NAME|remove NAME [--data DIR]   (names ScreenName refuses)"},
    {"seed", RunSeed, "seed TEXT|off [--data DIR]   (repeatable random numbers and session ids)"},
    {"clock", RunClock, "clock SECONDS|off [--data DIR]   (fixed host clock, seconds since 1970)"},
    {"host-number", RunHostNumber, "host-number N|off [--data DIR]   (GetHostNumber, default 1)"},
    {"db-offline", RunDbOffline, "db-offline on|off [--data DIR]   (IsDbOffline)"},
    {"server", RunServer,
     "server list|add|set|remove --rid N [--gsid T] [--name T] [--access T] [--address A.B.C.D:PORT] "
     "[--baffle A.B.C.D:PORT] [--FIELD N]... [--var NAME=VALUE]... [--data DIR]   (FIELD: own affiliate stats "
     "queued pfid-override pfid2-override login access-codes ticket page-id address port app-id baffle-address "
     "baffle-port baffle-key scramble-key lan-only places)"},
    {"access", RunAccess, "access list|set TEXT STATUS|clear TEXT [--data DIR]   (QueryServerAccess status, default 0)"},
    {"queue", RunQueue, "queue list [--rid N]|admit RID|places RID N|end TICKET|timeout SECONDS|off [--data DIR]"},
    {"ticket", RunTicket, "ticket list|set [--status N] [--text T]|clear [--data DIR]   (QueryAccountRecord)"},
    {"product", RunProduct, "product list|set PFID [ENTRYPFID:FEATURES]... [--data DIR]   (QueryProductRecord)"},
    {"hosts", RunHosts, "hosts list|status N|off [--data DIR]   (RegisterHost)"},
    {"codes", RunCodes, "codes list [--data DIR]   (the last SetAccountCodes list)"},
    {"cipher", RunCipher, "cipher encode|decode KEY TEXT   (the EncodeText/DecodeText cipher)"},
    {"fail", RunFail, "fail list|SLOT on|off [--data DIR]   (make a service slot answer negative)"},
    {"serve", RunServe,
     "serve [--data DIR] [--listen ADDR:PORT] [--plugins DIR] [--site DIR] [--threads N]"},
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
