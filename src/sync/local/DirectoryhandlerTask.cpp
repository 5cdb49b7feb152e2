#include "sync/local/DirectoryhandlerTask.h"

#include <exception>
#include <mutex>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "platform/Log.h"
#include "sync/local/Directoryhandler.h"

namespace nb {
namespace {

using platform::HandlerItem;

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t slash = path.find('/'); slash != std::string_view::npos;
       slash = path.find('/', start)) {
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  parts.push_back(path.substr(start));
  return parts;
}

// The engine writes downloads aside under this extension and renames them
// into place; that rename is its own and reaches no manager.
bool isOwnCopy(std::string_view path) {
  const std::string name = getFilename(path);
  const size_t dot = name.rfind('.');
  return dot != std::string::npos && lowercaseString(std::string_view(name).substr(dot + 1)) == "nbcopy";
}

bool isPairCandidate(const HandlerItem& a, const HandlerItem& b) {
  if (!b.bRename && !b.bCreate) return false;
  return b.itemid == a.itemid + 1 ||
         (b.itemid == a.itemid + 2 && lowercaseString(a.path) == lowercaseString(b.path));
}

}  // namespace

DirectoryhandlerTask::DirectoryhandlerTask(std::shared_ptr<Directoryhandler> handler,
                                           std::vector<HandlerItem> array)
    : handler_(std::move(handler)), array_(std::move(array)) {}

template <typename Call>
void DirectoryhandlerTask::apply(Call call) {
  for (const auto& manager : handler_->_managerlist()) {
    std::lock_guard<LocalEventTarget> lock(*manager);
    call(*manager);
  }
}

void DirectoryhandlerTask::main() {
  if (!handler_) return;
  handler_->enteredQueue();
  try {
    decode();
  } catch (const std::exception& error) {
    NBLOG_ERROR("file events under {} were dropped: {}", handler_->_srcPath(), error.what());
    handler_->requestRescan();
  } catch (...) {
    NBLOG_ERROR("file events under {} were dropped: unknown exception", handler_->_srcPath());
    handler_->requestRescan();
  }
}

void DirectoryhandlerTask::decode() {
  if (!handler_->_isWatchingPaths()) return;
  if (array_.size() == 1) {
    decodeSingle(array_.front());
    return;
  }
  for (size_t i = 0; i < array_.size(); ++i) {
    const HandlerItem& item = array_[i];
    if ((item.bRename || item.bCreate) && pairPartners(i)) continue;
    if (item.bUse) continue;  // the new half of an earlier pair
    if (movedLater(i)) continue;
    applyByExistence(item.path);
  }
}

// An item changed and then moved away within one batch is gone from its
// path, yet it was not deleted: the move's own handling looks at it where
// the move put it. A deletion stays one, also inside a folder moved later.
bool DirectoryhandlerTask::movedLater(size_t i) const {
  const std::string& path = array_[i].path;
  if (array_[i].bRemove || Util::existfile(path)) return false;
  for (size_t j = i + 1; j < array_.size(); ++j) {
    const HandlerItem& later = array_[j];
    if (later.bRename && (later.path == path || path.starts_with(later.path + "/"))) return true;
  }
  return false;
}

void DirectoryhandlerTask::decodeSingle(const HandlerItem& item) {
  const std::string& path = item.path;
  if (!Util::existfile(path)) {
    apply([&](LocalEventTarget& m) { m.eventdel(path); });
  } else if (!item.bCreate || item.bModify) {
    apply([&](LocalEventTarget& m) { m.eventupdate(path); });
  } else {
    apply([&](LocalEventTarget& m) { m.eventadd(path); });
  }
}

bool DirectoryhandlerTask::pairPartners(size_t i) {
  bool found = false;
  for (HandlerItem& partner : array_) {
    const HandlerItem& item = array_[i];
    if (!isPairCandidate(item, partner) || !Util::existfile(partner.path)) continue;
    if (item.path == partner.path) continue;  // identical paths: no pair
    applyPair(item, partner);
    found = true;
    partner.bUse = true;
  }
  return found;
}

void DirectoryhandlerTask::applyPair(const HandlerItem& from, const HandlerItem& to) {
  const auto a = components(from.path);
  const auto b = components(to.path);
  bool rename = false;
  if (a.size() == b.size()) {
    size_t first = 0;
    while (a[first] == b[first]) ++first;  // the paths differ somewhere
    rename = first + 1 == a.size();
  }
  if (!rename) {
    apply([&](LocalEventTarget& m) { m.eventremove(from.path, to.path, true); });
  } else if (!isOwnCopy(from.path)) {
    apply([&](LocalEventTarget& m) { m.eventrename(from.path, to.path, true); });
  }
}

void DirectoryhandlerTask::applyByExistence(const std::string& path) {
  if (Util::existfile(path)) {
    apply([&](LocalEventTarget& m) { m.eventupdate(path); });
  } else {
    apply([&](LocalEventTarget& m) { m.eventdel(path); });
  }
}

}  // namespace nb
