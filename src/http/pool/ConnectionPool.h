#pragma once
// The library's process-wide model of persistent connections. Each entry
// stands for one kept-alive connection to a host, scheme and port; requests
// claim an entry when they open a transfer and hand it back when the response
// was read to its end. curl holds the sockets themselves (per multi handle);
// the model decides which transfer may go over a kept connection and steers
// curl through the options returned by claim().
//
// Every member takes connectionsLock(), which is recursive. Never call into
// curl while holding it: curl's callbacks take a request's cancelledLock, and
// the lock order is cancelledLock, then connectionsLock.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"

namespace nb::http {

struct PoolEntry {
  int id = 0;
  std::string host;
  int port = 0;            // the URL's explicit port, 0 when it names none
  std::string scheme;      // as written
  std::optional<uint32_t> request;  // the holder's requestID; none while idle
  // Whether the connection may carry another request (the last response
  // allowed it); a new entry has none yet.
  bool reusable = false;
  std::optional<platform::Clock::Monotonic> expires;
  double lifetimeSeconds = 0;  // set at the hand-back
};

// How curl is told to treat the next transfer's connection.
struct ConnectionChoice {
  bool freshConnect = false;  // CURLOPT_FRESH_CONNECT
  bool forbidReuse = false;   // CURLOPT_FORBID_REUSE
  long maxAgeSeconds = 0;     // CURLOPT_MAXAGE_CONN, 0: leave curl's default
};

class ConnectionPool {
 public:
  static ConnectionPool& shared();
  static std::recursive_mutex& connectionsLock();

  // Drops every idle entry whose expiry is not later than now.
  void expirePersistentConnections();

  // The claim of a request opening a transfer. `entry` is the request's
  // entry from an earlier attempt (replaced by the one claimed, or null);
  // `requestID` is given a number when it has none. `persistent` is
  // switched off when the URL lacks a host or a scheme.
  ConnectionChoice claim(const std::string& scheme, const std::string& host, int port,
                         bool& persistent, std::shared_ptr<PoolEntry>& entry,
                         std::optional<uint32_t>& requestID);

  // The response was read to its end.
  void handBack(PoolEntry& entry, bool reusable, double lifetimeSeconds);
  // A failure or a retry on a new connection takes the entry out.
  void removeEntry(const std::shared_ptr<PoolEntry>& entry);
  // After a failure of a request whose connection may be reused.
  void refreshExpiry(PoolEntry& entry, double lifetimeSeconds);

  // For tests: a snapshot of the entries in pool order.
  std::vector<PoolEntry> entries() const;
  // For tests: empties the model (the counters keep counting).
  void clearForTesting();

 private:
  std::vector<std::shared_ptr<PoolEntry>> pool_;  // guarded by connectionsLock()
  int nextConnectionNumberToCreate_ = 0;          // guarded by connectionsLock()
  uint32_t nextRequestID_ = 0;                    // guarded by connectionsLock()
};

}  // namespace nb::http
