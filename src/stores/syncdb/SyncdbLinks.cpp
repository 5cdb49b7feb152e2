// The sync store's linked folders (LINKNODE), former links (OLDLINKNODE)
// and cache-mode folders (CACHENODE).

#include "foundation/sqlite/FMResultSet.h"
#include "platform/Clock.h"
#include "stores/common/SqlSubtree.h"
#include "stores/syncdb/Syncdb.h"

namespace nb {

namespace {

// Updates the row of `webpath` (any letter case, so its stored case stays)
// or inserts one, in one job. `updateSql` binds `values` then the web path;
// `insertSql` binds the web path then `values`.
bool upsert(Syncdb& store, const std::string& table, const std::string& webpath,
            const std::string& updateSql, const std::string& insertSql, const SqlArgs& values) {
  bool ok = false;
  store.inDatabase([&](FMDatabase& db) {
    bool found = false;
    if (auto set = db.executeQuery("select * from " + table + " where webpath = ?;", {webpath})) {
      found = set->next();
      set->close();
    }
    SqlArgs args;
    if (!found) args.emplace_back(webpath);
    args.insert(args.end(), values.begin(), values.end());
    if (found) args.emplace_back(webpath);
    ok = db.executeUpdateRetry(found ? updateSql : insertSql, args);
  });
  return ok;
}

bool renameRows(Syncdb& store, const std::string& table, const std::string& path,
                const std::string& newpath) {
  bool ok = false;
  store.inDatabase([&](FMDatabase& db) {
    // The rows below go first: renamed first, the row itself could land
    // inside its own old subtree (a move below itself) and be renamed twice.
    SqlArgs args{newpath, path};
    appendSubtreeArgs(args, path);
    ok = db.executeUpdateRetry("update " + table + " set webpath=" + subtreeRenamed("webpath") +
                                   " where " + subtreeOf("webpath") + ";",
                               args);
    db.executeUpdateRetry("update " + table + " set webpath = ? where webpath = ?;",
                          {newpath, path});
  });
  return ok;
}

void removeRows(Syncdb& store, const std::string& table, const std::string& path, bool same) {
  store.inDatabase([&](FMDatabase& db) {
    if (same) {
      db.executeUpdateRetry("delete from " + table + " where webpath=?;", {path});
      return;
    }
    SqlArgs args;
    appendAtOrSubtreeArgs(args, path);
    db.executeUpdateRetry("delete from " + table + " where " + atOrSubtreeOf("webpath") + ";",
                          args);
  });
}

LinkFolderNode readLink(FMResultSet& set) {
  LinkFolderNode node;
  node.strWebPath = set.stringForColumn("webpath").value_or("");
  node.strFullPath = set.stringForColumn("fullpath").value_or("");
  node.bDir = set.longForColumn("dir") != 0;
  node.nType = static_cast<int32_t>(set.longForColumn("type"));
  return node;
}

}  // namespace

bool Syncdb::add_link(const LinkFolderNode& node) {
  return upsert(*this, "LINKNODE", node.strWebPath,
                "update LINKNODE set fullpath=?,dir=?,type=? where webpath=?;",
                "insert into LINKNODE(webpath,fullpath,dir,type) values(?,?,?,?);",
                {node.strFullPath, node.bDir, node.nType});
}

std::vector<LinkFolderNode> Syncdb::get_links() {
  std::vector<LinkFolderNode> links;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from LINKNODE;");
    while (set && set->next()) links.push_back(readLink(*set));
  });
  return links;
}

bool Syncdb::rename_link(const std::string& path, const std::string& newpath) {
  return renameRows(*this, "LINKNODE", path, newpath);
}

void Syncdb::remove_link(const std::string& path, bool same) {
  removeRows(*this, "LINKNODE", path, same);
}

bool Syncdb::add_oldlink(const LinkFolderNode& node) {
  return add_oldlink(node, platform::nowSeconds());
}

bool Syncdb::add_oldlink(const LinkFolderNode& node, uint64_t time) {
  return upsert(*this, "OLDLINKNODE", node.strWebPath,
                "update OLDLINKNODE set fullpath=?,dir=?,type=?,dateline=? where webpath=?;",
                "insert into OLDLINKNODE(webpath,fullpath,dir,type,dateline) values(?,?,?,?,?);",
                {node.strFullPath, node.bDir, node.nType, time});
}

std::string Syncdb::get_oldlink(const std::string& path) {
  std::string fullpath;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select fullpath from OLDLINKNODE where webpath=?;", {path});
    if (set && set->next()) fullpath = set->stringForColumnIndex(0).value_or("");
    if (set) set->close();
  });
  return fullpath;
}

bool Syncdb::add_cache(const CacheFolderItem& item) {
  return upsert(*this, "CACHENODE", item.strWebPath,
                "update CACHENODE set fullpath=? where webpath=?;",
                "insert into CACHENODE(webpath,fullpath) values(?,?);", {item.strFullPath});
}

std::vector<CacheFolderItem> Syncdb::get_caches() {
  std::vector<CacheFolderItem> caches;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from CACHENODE;");
    while (set && set->next()) {
      caches.push_back({set->stringForColumn("webpath").value_or(""),
                        set->stringForColumn("fullpath").value_or("")});
    }
  });
  return caches;
}

bool Syncdb::rename_cache(const std::string& path, const std::string& newpath) {
  return renameRows(*this, "CACHENODE", path, newpath);
}

void Syncdb::remove_cache(const std::string& path, bool same) {
  removeRows(*this, "CACHENODE", path, same);
}

}  // namespace nb
