// Database faults on demand, for tests and for trying the site: kept in host.sqlite (the
// host's configuration), so they hold for every request until they are cleared, and can be
// set from C++ or with `omserver db-fault`.
#ifndef OM_OMSERVER_DB_FAULTS_H
#define OM_OMSERVER_DB_FAULTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace omserver {
class Host;
}

namespace omserver {

// True while the databases are switched offline: every DbOpen then fails with -6, and the
// IsDbOffline service reports it.
bool DatabasesOffline(Host& host);
void SetDatabasesOffline(Host& host, bool offline);

// DbOpen of a database number fails with this error (-3, -4, -6 or any other) while set.
void SetDbOpenFault(Host& host, int32_t database, std::optional<int32_t> error);
std::optional<int32_t> DbOpenFault(Host& host, int32_t database);

// DbExecute of statements with this tag fails while set.
void SetDbExecuteFault(Host& host, const std::string& tag, bool fail);
bool DbExecuteFault(Host& host, const std::string& tag);

// The k-th DbNextResult (1 = the first after DbExecute) of statements with this tag fails.
void SetDbNextResultFault(Host& host, const std::string& tag, std::optional<int32_t> k);
std::optional<int32_t> DbNextResultFault(Host& host, const std::string& tag);

// Every database fault in force, one line each ("offline", "open 1 -6", "execute TAG",
// "next-result TAG 2"), and clearing them all.
std::vector<std::string> ListDbFaults(Host& host);
void ClearDbFaults(Host& host);

}  // namespace omserver

#endif
