#pragma once
// What a folder watcher asks of each sync manager it serves: the five local
// event handlers, the manager's lock around each call, and the full rescan
// when file events were lost. SyncManager implements it; tests use fakes.

#include <string>

namespace nb {

class LocalEventTarget {
 public:
  virtual ~LocalEventTarget() = default;

  // The manager's controllock (plain, not re-entrant). The watcher takes it
  // around each single handler call, never across two.
  virtual void lock() = 0;
  virtual void unlock() = 0;

  // The local event handlers, each called with the lock held. Paths are
  // absolute local paths. The watcher ignores the results.
  virtual bool eventadd(const std::string& path) = 0;
  virtual bool eventdel(const std::string& path) = 0;
  virtual bool eventupdate(const std::string& path) = 0;
  virtual bool eventrename(const std::string& path, const std::string& newpath, bool push) = 0;
  virtual bool eventremove(const std::string& path, const std::string& newpath, bool push) = 0;

  // Changes under a watched root may have been lost: rescan the linked
  // folders at the next compare pass (bScaned = NO, startCanCompare) and
  // ask the sync centre for a compare cycle now (bCompareNow). Called
  // without the lock.
  virtual void requestFullRescan() = 0;
};

}  // namespace nb
