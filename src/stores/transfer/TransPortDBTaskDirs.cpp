// Folder transfer tasks of the transfer store: one notice per folder
// instead of one per file.

#include <algorithm>

#include <fmt/format.h>

#include "foundation/sqlite/FMDatabase.h"
#include "stores/transfer/TransPortDB.h"

namespace nb {

namespace {

// A task path covers the file's path when it is the path itself or a folder
// above it: "Docs" covers "Docs" and "Docs/x", never "Docs2/x". Letter case
// matters; an empty task path covers nothing.
bool covers(const std::string& task, const std::string& path) {
  if (task.empty() || !path.starts_with(task)) return false;
  return path.size() == task.size() || path[task.size()] == '/';
}

bool sameTask(const TaskDir_Stx& task, std::int64_t mountid, const std::string& webpath,
              const std::string& fullpath) {
  return task.nMountID == mountid && task.strWebpath == webpath && task.strFullpath == fullpath;
}

}  // namespace

void TransPortDB::addTaskDir(std::int64_t mountid, const std::string& webpath,
                             const std::string& fullpath) {
  {
    std::lock_guard lock(nodeMutex_);
    if (nodeArray_ && std::none_of(nodeArray_->begin(), nodeArray_->end(), [&](const auto& t) {
          return sameTask(t, mountid, webpath, fullpath);
        })) {
      nodeArray_->push_back({mountid, webpath, fullpath, false});
    }
  }
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("replace into TaskDir(mountid, webpath, fullpath) values(?, ?, ?)",
                          {mountid, webpath, fullpath});
  });
}

void TransPortDB::addTaskDirFinish(std::int64_t mountid, const std::string& webpath,
                                   const std::string& fullpath) {
  std::lock_guard lock(nodeMutex_);
  if (!nodeArray_) return;
  const auto found = std::find_if(nodeArray_->begin(), nodeArray_->end(), [&](const auto& t) {
    return sameTask(t, mountid, webpath, fullpath);
  });
  if (found != nodeArray_->end()) found->bFinish = true;
}

void TransPortDB::delTaskDir(std::int64_t mountid, const std::string& webpath,
                             const std::string& fullpath) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("delete from TaskDir where mountid = ? and webpath = ? and fullpath = ?",
                          {mountid, webpath, fullpath});
  });
}

bool TransPortDB::checkInTaskDirFinish(std::int64_t mountid, std::string& webpath,
                                       const std::string& fullpath) {
  return checkTask(mountid, webpath, fullpath, false);
}

bool TransPortDB::checkInTaskUploadDirFinish(std::int64_t mountid, std::string& webpath,
                                             const std::string& fullpath) {
  return checkTask(mountid, webpath, fullpath, true);
}

bool TransPortDB::checkTask(std::int64_t mountid, std::string& webpath,
                            const std::string& fullpath, bool upload) {
  // The list stays locked across the count and the dissolution, so two
  // completions under one task cannot both dissolve it.
  std::lock_guard lock(nodeMutex_);
  if (!nodeArray_) return true;
  // An upload by content hash has no local path and is matched by web path.
  const bool matchFull = !(upload && fullpath.empty());
  const auto task = std::find_if(nodeArray_->begin(), nodeArray_->end(), [&](const auto& t) {
    return t.nMountID == mountid && covers(t.strWebpath, webpath) &&
           (!matchFull || covers(t.strFullpath, fullpath));
  });
  if (task == nodeArray_->end()) return true;
  webpath = task->strWebpath;

  const TransferQueue& queue = upload ? uploads_ : downloads_;
  // Hidden downloads do not hold a task open; a copy task (no full path)
  // waits for the uploads under its web path.
  const bool byWebpath = upload && task->strFullpath.empty();
  SqlArgs args{task->nMountID};
  appendSubtreeArgs(args, byWebpath ? task->strWebpath : task->strFullpath);
  const std::int64_t pending = queue.number(
      fmt::format("select count(*) from {} where mountid = ? and status <> 4{} and {}",
                  queue.table().name, queue.table().visible,
                  subtreeOf(byWebpath ? "webpath" : "fullpath")),
      args);
  if (pending != 0 || !task->bFinish) return false;
  delTaskDir(task->nMountID, task->strWebpath, task->strFullpath);
  nodeArray_->erase(task);
  return true;
}

}  // namespace nb
