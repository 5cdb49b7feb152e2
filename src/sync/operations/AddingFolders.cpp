// The list of library folders being added from the computer: lets a page
// deletion of such a folder stop the background add walking it.
#include <algorithm>
#include <chrono>

#include "foundation/text/StringHelpers.h"
#include "platform/Clock.h"
#include "sync/centre/AbsoluteTime.h"
#include "sync/centre/SyncManager.h"
#include "sync/links/PathMatch.h"

namespace nb {
namespace {

// How long a deletion waits for the add job after it first asked it to stop.
constexpr double kStopWait = 30.0;
constexpr auto kStopPoll = std::chrono::milliseconds(100);

std::vector<add_or_del_stx>::iterator findSame(std::vector<add_or_del_stx>& list,
                                               const std::string& lower) {
  return std::find_if(list.begin(), list.end(),
                      [&](const add_or_del_stx& entry) { return entry.webpath == lower; });
}

}  // namespace

void SyncManager::addadlist(const std::string& webpath) {
  const std::string lower = lowercaseString(webpath);
  std::lock_guard lock(adlock_);
  if (findSame(adlist_, lower) != adlist_.end()) return;
  adlist_.push_back(add_or_del_stx{lower, 0, 0.0});
}

void SyncManager::deladlist(const std::string& webpath) {
  const std::string lower = lowercaseString(webpath);
  std::lock_guard lock(adlock_);
  const auto entry = findSame(adlist_, lower);
  if (entry != adlist_.end()) adlist_.erase(entry);
}

bool SyncManager::checkadlist(const std::string& webpath) {
  const std::string lower = lowercaseString(webpath);
  const double now = absoluteTime();
  std::lock_guard lock(adlock_);
  const auto entry = findSame(adlist_, lower);
  if (entry == adlist_.end()) return false;
  // The status marks a stop request: a test clock may read 0 at that moment.
  if (entry->status == 1 && now - entry->fttime > kStopWait) {
    adlist_.erase(entry);
    return false;
  }
  return true;
}

bool SyncManager::checksubadlist(const std::string& webpath) {
  const std::string lower = lowercaseString(webpath);
  std::lock_guard lock(adlock_);
  for (const auto& entry : adlist_) {
    if (lowerWebPathInFolder(lower, entry.webpath)) return entry.status != 1;
  }
  return false;
}

void SyncManager::updateadlist(const std::string& webpath) {
  const std::string lower = lowercaseString(webpath);
  const double now = absoluteTime();
  std::lock_guard lock(adlock_);
  const auto entry = findSame(adlist_, lower);
  if (entry == adlist_.end() || entry->status == 1) return;
  entry->status = 1;
  entry->fttime = now;
}

void SyncManager::waitForAddToStop(const std::string& webpath) {
  if (!checkadlist(webpath)) return;
  const auto clock = platform::Clock::current();
  do {
    updateadlist(webpath);
    clock->sleepFor(kStopPoll);
  } while (checkadlist(webpath));
}

}  // namespace nb
