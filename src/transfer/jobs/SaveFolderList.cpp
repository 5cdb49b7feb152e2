#include "transfer/jobs/SaveFolderList.h"

#include <unordered_set>

#include "api/calls/HTTPEngine.h"
#include "api/models/RetFileList.h"
#include "api/models/TransportItem.h"
#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"

namespace nb::transfer {
namespace {

constexpr std::int64_t kReadRefused = 2;

}  // namespace

SaveFolderList::SaveFolderList(TransPortDB& store, Source source)
    : store_(store), source_(std::move(source)) {}

std::optional<std::string> SaveFolderList::localName(const std::string& entryPath,
                                                     const std::string& folder) {
  const std::string path = lastremoveslash(entryPath);
  const std::string prefix = folder.empty() ? "" : lastaddslash(folder);
  // Letter case is the server's business; only the place in the tree counts.
  if (path.size() <= prefix.size() ||
      lowercaseString(path.substr(0, prefix.size())) != lowercaseString(prefix)) {
    return std::nullopt;
  }
  // Only a direct child of the listed folder: the walk then always goes
  // one level deeper, and no ".." of the server's can climb out of it.
  std::string name = path.substr(prefix.size());
  if (name == "." || name == ".." || name.find_first_of(std::string("/\0", 2)) != std::string::npos) {
    return std::nullopt;
  }
  return name;
}

void SaveFolderList::queueFolder(const std::string& webpath, const std::string& savepath) {
  const std::string token = UserData::shareUserData().userToken();
  // A server that ignores "start" would answer the same full page for ever;
  // a page that brings nothing new ends the listing.
  std::unordered_set<std::string> seen;
  for (std::int64_t start = 0;;) {
    const RetFileList ret = HTTPEngine::getFileList(token, webpath, source_.mountid,
                                                    source_.messageid, source_.dialogid, 0, start);
    if (ret.nStatusCode() != 200) {
      NBLOG_WARN("listing {} of library {} for saving failed: {} {}", webpath, source_.mountid,
                 ret.nStatusCode(), ret.nErrorCode());
      if (source_.onFailure) source_.onFailure(ret);
      return;
    }
    const std::vector<CompareItem> entries = ret.itemlist.value_or(std::vector<CompareItem>{});
    std::size_t fresh = 0;
    for (const CompareItem& entry : entries) {
      if (!seen.insert(entry.strWebPath).second) continue;
      ++fresh;
      queueEntry(entry, webpath, savepath);
    }
    if (entries.size() < static_cast<std::size_t>(HTTPEngine::kFileListSize) || fresh == 0) return;
    start += static_cast<std::int64_t>(entries.size());
  }
}

void SaveFolderList::queueEntry(const CompareItem& entry, const std::string& folder,
                                const std::string& savepath) {
  if (SyncManager::checkFilePropertyForRead(entry.strPropertys, source_.permission) ==
      kReadRefused) {
    return;
  }
  const std::optional<std::string> name = localName(entry.strWebPath, folder);
  if (!name) {
    NBLOG_WARN("listing of {} in library {} names an unusable entry; skipped", folder,
               source_.mountid);
    return;
  }
  TransportItem item;
  item.nMountid = source_.mountid;
  item.strWebpath = lastremoveslash(entry.strWebPath);
  item.strFullpath = lastaddslash(savepath) + *name;
  item.bDir = entry.bDir;
  item.nStatus = kTransWaiting;
  item.ullFilesize = entry.ullFileSize;
  item.strFilehash = entry.strFileHash;
  item.nStat = 1;
  store_.Add_Download(item);
  if (item.bDir) queueFolder(item.strWebpath, item.strFullpath);
}

}  // namespace nb::transfer
