// Conversion of a sync store of the older layout, whose file rows name their
// parent folder by path, into a current store whose rows name it by row id.

#include <filesystem>
#include <system_error>

#include "foundation/sqlite/FMDatabaseQueue.h"
#include "foundation/sqlite/FMResultSet.h"
#include "platform/Log.h"
#include "stores/syncdb/Syncdb.h"

namespace nb {

namespace {

// Whether `path` lies strictly below `parent` ("" is the top level, whose
// rows hold no "/"), ASCII case ignored.
bool liesBelow(const std::string& path, const std::string& parent) {
  if (parent.empty()) return path.find('/') == std::string::npos;
  if (path.size() <= parent.size() + 1 || path[parent.size()] != '/') return false;
  for (size_t i = 0; i < parent.size(); ++i) {
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(static_cast<unsigned char>(path[i])) != lower(static_cast<unsigned char>(parent[i]))) {
      return false;
    }
  }
  return true;
}

// An old file row as a new one: no last editor, parent `upid`.
SyncFileItem readOldRow(FMResultSet& set, int64_t upid) {
  SyncFileItem item;
  item.strWebPath = set.stringForColumn("path").value_or("");
  item.bDir = set.longForColumn("dir") != 0;
  item.strFileHash = set.stringForColumn("filehash").value_or("");
  item.strUuidHash = set.stringForColumn("uuidhash").value_or("");
  item.ullFileSize = static_cast<uint64_t>(set.longForColumn("filesize"));
  item.ullLastTime = static_cast<uint64_t>(set.longForColumn("lasttime"));
  item.ullWebLastTime = static_cast<uint64_t>(set.longForColumn("weblasttime"));
  item.ullCreatorTime = static_cast<uint64_t>(set.longForColumn("creatortime"));
  item.nLock = set.intForColumn("lock");
  item.nLockID = set.intForColumn("lockid");
  item.nStatus = set.intForColumn("status");
  item.strProperty = set.stringForColumn("property").value_or("");
  item.nUpID = upid;
  item.nLastID = 0;
  item.strLastName.clear();
  return item;
}

void copyFolderTables(FMDatabase& old, Syncdb& store) {
  for (auto set = old.executeQuery("select * from CACHENODE;"); set && set->next();) {
    store.add_cache({set->stringForColumn("webpath").value_or(""),
                     set->stringForColumn("fullpath").value_or("")});
  }
  for (auto set = old.executeQuery("select * from OLDLINKNODE;"); set && set->next();) {
    LinkFolderNode node{set->stringForColumn("webpath").value_or(""),
                        set->stringForColumn("fullpath").value_or(""),
                        set->intForColumn("dir") != 0, set->intForColumn("type")};
    store.add_oldlink(node, static_cast<uint64_t>(set->longForColumn("dateline")));
  }
  for (auto set = old.executeQuery("select * from LINKNODE;"); set && set->next();) {
    store.add_link({set->stringForColumn("webpath").value_or(""),
                    set->stringForColumn("fullpath").value_or(""), set->boolForColumn("dir"),
                    set->intForColumn("type")});
  }
}

void copyQueueAndCursors(FMDatabase& old, Syncdb& store) {
  for (auto set = old.executeQuery("select * from SYNCEDNOW;"); set && set->next();) {
    store.inset_sync_now(set->stringForColumn("path").value_or(""), set->boolForColumn("dir"),
                         static_cast<uint64_t>(set->longForColumn("dateline")),
                         set->intForColumn("type"), set->boolForColumn("overwrite"));
  }
  for (auto set = old.executeQuery("select * from VERSION;"); set && set->next();) {
    store.insert_total_version(set->stringForColumn("path").value_or(""),
                               static_cast<uint64_t>(set->longForColumn("dateline")));
  }
}

}  // namespace

bool Syncdb::update2to3(const std::string& oldPath, const std::string& newPath) {
  auto store = initpath(newPath);
  if (!store) {
    NBLOG_ERROR("update2to3 could not make {}", newPath);
    return false;
  }
  const bool began = store->TransactionBegin();
  std::error_code ec;
  // Opening a missing file would create an empty one beside the new store.
  auto queue = std::filesystem::is_regular_file(oldPath, ec)
                   ? FMDatabaseQueue::databaseQueueWithPath(oldPath)
                   : nullptr;
  if (queue) {
    queue->inDatabase([&](FMDatabase& old) {
      copyFolderTables(old, *store);
      copyQueueAndCursors(old, *store);
      changesync(old, *store, "", 0);
    });
    queue->close();
  }
  // Without a transaction of its own (one could not begin) every row was
  // written as it came.
  const bool committed = !began || store->TransactionEnd();
  store->close();
  return committed;
}

void Syncdb::changesync(FMDatabase& old, Syncdb& store, const std::string& parent, int64_t upid,
                        int depth) {
  if (depth >= kMaxConvertDepth) {
    NBLOG_ERROR("changesync too deep below {}", parent);
    return;
  }
  // The level is read whole before descending: the nested query of a child
  // level would otherwise share the cached statement of this one.
  std::vector<SyncFileItem> rows;
  if (auto set = old.executeQuery("select * from SYNC where parent=?;", {parent})) {
    while (set->next()) {
      SyncFileItem item = readOldRow(*set, upid);
      // A corrupt row naming itself, an ancestor or a stranger as parent
      // would otherwise be walked again and again.
      if (liesBelow(item.strWebPath, parent)) rows.push_back(std::move(item));
    }
  }
  for (const auto& item : rows) {
    const int64_t id = store.add_new_file(item);
    if (id == -1) {
      NBLOG_ERROR("changesync {}", item.strWebPath);
      continue;
    }
    if (item.bDir) changesync(old, store, item.strWebPath, id, depth + 1);
  }
}

}  // namespace nb
