// Favourite groups (FAVORITESINFO) and favourite files (FAVORITESITEM) of the
// catalogue store, with the reconciliation of the groups that tells the open
// pages what changed.
#include <algorithm>

#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "platform/Log.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/catalogue/MountsdbSql.h"
#include "stores/common/StoreBatch.h"

namespace nb {

namespace {

constexpr std::string_view kSelectFavorite =
    "select * from FAVORITESITEM where hash= ? and mount_id=? and id=?;";

// The select-then-insert of one favourite file; an insert the declared key
// (id, hash) rejects has had its retries and is dropped.
void addFavorite(FMDatabase& db, std::int64_t id, std::int64_t mountId, const std::string& hash) {
  if (mountsdb::hasRow(db, {kSelectFavorite, {hash, mountId, id}})) return;
  db.executeUpdateRetry("insert into FAVORITESITEM(id,mount_id,hash) values(?,?,?);",
                        {id, mountId, hash});
}

void sendMagicEvent(std::string_view name, const MagicItem& item) {
  const auto event = PageEvent::make(name, item.dictionary());
  if (!event) {
    NBLOG_WARN("favourite group {} gave no page event {}", item.nID, name);
    return;
  }
  Util::getAppDelegate()->setAllCustomEvent(*event);
}

bool sameMagic(const MagicItem& a, const MagicItem& b) {
  return a.nType == b.nType && a.strName == b.strName && a.strColor == b.strColor;
}

}  // namespace

// --- Favourite groups ----------------------------------------------------------------

void Mountsdb::addMagic(const MagicItem& item) {
  updateMagic(item.nID, item.nType, item.strName, item.strColor);
}

void Mountsdb::updateMagic(std::int64_t id, std::int64_t type, const std::string& name,
                           const std::string& color) {
  inDatabase([&](FMDatabase& db) {
    mountsdb::upsert(db, {"select * from FAVORITESINFO where id=?;", {id}},
                     {"update FAVORITESINFO set type=?,name=?,color=? where id=?;",
                      {type, name, color, id}},
                     {"insert into FAVORITESINFO(id,type,name,color) values(?,?,?,?);",
                      {id, type, name, color}});
  });
}

std::vector<MagicItem> Mountsdb::getMagics() {
  return mountsdb::selectAll(*this, "select * from FAVORITESINFO;", {}, [](FMResultSet& set) {
    MagicItem item;
    item.nID = set.longForColumn("id");
    item.nType = set.longForColumn("type");
    item.strName = set.stringForColumn("name").value_or("");
    item.strColor = set.stringForColumn("color").value_or("");
    item.bRemove = true;
    return item;
  });
}

void Mountsdb::removeMagic(std::int64_t id) {
  mountsdb::write(*this, "delete from FAVORITESINFO where id=?;", {id});
}

void Mountsdb::removeAllMagic() { mountsdb::write(*this, "delete from FAVORITESINFO;"); }

void Mountsdb::updateAllMagic(const std::vector<MagicItem>& server) {
  // A snapshot: groups written below are not compared again.
  std::vector<MagicItem> stored = getMagics();
  for (const MagicItem& group : server) {
    auto local = std::find_if(stored.begin(), stored.end(),
                              [&](const MagicItem& s) { return s.nID == group.nID; });
    if (local != stored.end()) {
      local->bRemove = false;
      if (sameMagic(*local, group)) continue;
    }
    addMagic(group);
    sendMagicEvent("AddMagicObject", group);
  }
  for (const MagicItem& group : stored) {
    if (!group.bRemove) continue;
    removeMagic(group.nID);
    sendMagicEvent("RemoveMagicObject", group);
  }
}

// --- Favourite files ----------------------------------------------------------------

void Mountsdb::addFavorites(const std::vector<FavoritesItem>& items) {
  inDatabase([&](FMDatabase& db) {
    inBatch(db, [&] {
      for (const FavoritesItem& item : items) {
        addFavorite(db, item.nID, item.nMountID, item.strUuidHash);
      }
    });
  });
}

void Mountsdb::addFavorites(std::int64_t id, std::int64_t mountId, const std::string& hash) {
  inDatabase([&](FMDatabase& db) { addFavorite(db, id, mountId, hash); });
}

std::vector<FavoritesItem> Mountsdb::getFavorites(std::int64_t id) {
  return mountsdb::selectAll(*this, "select * from FAVORITESITEM where id=?;", {id},
                             [](FMResultSet& set) {
                               FavoritesItem item;
                               item.nID = set.longForColumn("id");
                               item.nMountID = set.longForColumn("mount_id");
                               item.strUuidHash = set.stringForColumn("hash").value_or("");
                               return item;
                             });
}

std::vector<std::int64_t> Mountsdb::getTypeForHash(const std::string& hash) {
  return mountsdb::selectAll(*this, "select * from FAVORITESITEM where hash=?;", {hash},
                             [](FMResultSet& set) { return set.longForColumn("id"); });
}

void Mountsdb::removeFavorites() { mountsdb::write(*this, "delete from FAVORITESITEM;"); }

void Mountsdb::removeFavorites(std::int64_t id) {
  mountsdb::write(*this, "delete from FAVORITESITEM where id=?;", {id});
}

void Mountsdb::removeFavoritesByID(std::int64_t id, const std::string& hash) {
  mountsdb::write(*this, "delete from FAVORITESITEM where id=? and hash=?;", {id, hash});
}

void Mountsdb::removefavoritesByMountID(std::int64_t mountId, const std::string& hash) {
  mountsdb::write(*this, "delete from FAVORITESITEM where mount_id=? and hash=?;",
                  {mountId, hash});
}

}  // namespace nb
