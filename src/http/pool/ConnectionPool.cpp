#include "http/pool/ConnectionPool.h"

#include <algorithm>
#include <chrono>

namespace nb::http {

namespace {

platform::Clock::Monotonic expiryFrom(double seconds) {
  return platform::monotonicNow() + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::duration<double>(seconds));
}

bool matches(const PoolEntry& entry, const std::string& scheme, const std::string& host,
             int port) {
  return entry.host == host && entry.scheme == scheme && entry.port == port;
}

}  // namespace

ConnectionPool& ConnectionPool::shared() {
  static ConnectionPool pool;
  return pool;
}

std::recursive_mutex& ConnectionPool::connectionsLock() {
  static std::recursive_mutex lock;
  return lock;
}

void ConnectionPool::expirePersistentConnections() {
  std::lock_guard lock(connectionsLock());
  const auto now = platform::monotonicNow();
  std::erase_if(pool_, [now](const std::shared_ptr<PoolEntry>& entry) {
    return !entry->request && (!entry->expires || *entry->expires <= now);
  });
}

ConnectionChoice ConnectionPool::claim(const std::string& scheme, const std::string& host,
                                       int port, bool& persistent,
                                       std::shared_ptr<PoolEntry>& entry,
                                       std::optional<uint32_t>& requestID) {
  std::lock_guard lock(connectionsLock());
  if (host.empty() || scheme.empty()) {
    entry.reset();
    persistent = false;
  }
  if (!persistent) return {.freshConnect = true, .forbidReuse = true};

  const auto now = platform::monotonicNow();
  if (entry) {
    const bool sameServer = matches(*entry, scheme, host, port);
    const bool expired = entry->expires && *entry->expires < now;
    if (sameServer && expired) removeEntry(entry);
    if (!sameServer || expired || entry->request) entry.reset();
  }
  if (!entry) {
    for (const auto& candidate : pool_) {
      if (!candidate->request && matches(*candidate, scheme, host, port)) entry = candidate;
    }
  }
  ConnectionChoice choice;
  if (entry && entry->reusable) {
    choice.maxAgeSeconds = std::max(1L, static_cast<long>(entry->lifetimeSeconds));
  } else {
    choice.freshConnect = true;
  }
  if (!entry) {
    entry = std::make_shared<PoolEntry>();
    entry->id = ++nextConnectionNumberToCreate_;
    entry->host = host;
    entry->port = port;
    entry->scheme = scheme;
    pool_.push_back(entry);
  }
  if (!requestID) requestID = ++nextRequestID_;
  entry->request = requestID;
  return choice;
}

void ConnectionPool::handBack(PoolEntry& entry, bool reusable, double lifetimeSeconds) {
  std::lock_guard lock(connectionsLock());
  entry.request.reset();
  entry.reusable = reusable;
  entry.lifetimeSeconds = lifetimeSeconds;
  entry.expires = expiryFrom(lifetimeSeconds);
}

void ConnectionPool::removeEntry(const std::shared_ptr<PoolEntry>& entry) {
  if (!entry) return;
  std::lock_guard lock(connectionsLock());
  entry->request.reset();
  std::erase(pool_, entry);
}

void ConnectionPool::refreshExpiry(PoolEntry& entry, double lifetimeSeconds) {
  std::lock_guard lock(connectionsLock());
  entry.expires = expiryFrom(lifetimeSeconds);
}

std::vector<PoolEntry> ConnectionPool::entries() const {
  std::lock_guard lock(connectionsLock());
  std::vector<PoolEntry> copy;
  for (const auto& entry : pool_) copy.push_back(*entry);
  return copy;
}

void ConnectionPool::clearForTesting() {
  std::lock_guard lock(connectionsLock());
  pool_.clear();
}

}  // namespace nb::http
