// The user configuration keys, the server's account settings and the
// enterprise roles of the catalogue store.
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/catalogue/MountsdbSql.h"
#include "stores/common/StoreBatch.h"

namespace nb {

namespace {

// The role insert of addRole and resetAllRoles.
void insertRole(FMDatabase& db, const EntRoleEx& role) {
  db.executeUpdateRetry(
      "insert into ROLE(role_id,ent_id,name,orgadmin,description,permissions,addtime) "
      "values(?,?,?,?,?,?,?);",
      {role.nID, role.nEntID, role.strName, role.bOrgAdmin ? 1 : 0, role.strDescription,
       role.strPermissions, role.strAddTime});
}

}  // namespace

// --- User configuration ------------------------------------------------------------

void Mountsdb::setConfig(std::string_view key, const std::string& value, bool overwrite) {
  inDatabase([&](FMDatabase& db) {
    const mountsdb::Bound select{"select * from USERCONFIG where key=?;", {key}};
    const mountsdb::Bound insert{"insert into USERCONFIG(key,value) values(?,?);", {key, value}};
    if (!overwrite) {
      if (!mountsdb::hasRow(db, select)) db.executeUpdateRetry(insert.sql, insert.args);
      return;
    }
    mountsdb::upsert(db, select, {"update USERCONFIG set value=? where key=?;", {value, key}},
                     insert);
  });
}

std::string Mountsdb::getConfig(std::string_view key) {
  std::string value;
  inDatabase([&](FMDatabase& db) {
    value = stringForQuery(db, "select value from USERCONFIG where key=?;", {key}).value_or("");
  });
  return value;
}

void Mountsdb::setIgnore(const std::string& value) { setConfig("ignore", value, true); }
std::string Mountsdb::getIgnore() { return getConfig("ignore"); }
void Mountsdb::initOffice(const std::string& value) { setConfig("office", value, false); }
void Mountsdb::setOffice(const std::string& value) { setConfig("office", value, true); }
std::string Mountsdb::getOffice() { return getConfig("office"); }
void Mountsdb::addLinks(const std::string& json) { setConfig("link", json, true); }
std::string Mountsdb::getLinks() { return getConfig("link"); }
void Mountsdb::setCacheDataKey(const std::string& key) { setConfig("datacache", key, true); }
std::string Mountsdb::getCacheDataKey() { return getConfig("datacache"); }

// --- Server settings -----------------------------------------------------------------

void Mountsdb::addSetting(const SettingItem& item) {
  mountsdb::write(*this, "insert into SETTING(setting,tvalue,propertys) values(?,?,?);",
                  {item.strSetting, item.nValue, item.strProperty});
}

std::optional<SettingItem> Mountsdb::getSetting(const std::string& name) {
  auto items = mountsdb::selectAll(
      *this, "select * from SETTING where setting = ?;", {name}, [](FMResultSet& set) {
        SettingItem item;
        item.strSetting = set.stringForColumn("setting").value_or("");
        item.nValue = set.longForColumn("tvalue");
        item.strProperty = set.stringForColumn("propertys").value_or("");
        return item;
      });
  if (items.empty()) return std::nullopt;
  return std::move(items.back());
}

void Mountsdb::removeSettings() { mountsdb::write(*this, "delete from SETTING;"); }

// --- Roles ------------------------------------------------------------------------------

void Mountsdb::addRole(const EntRoleEx& role) {
  inDatabase([&](FMDatabase& db) {
    const SqlArgs key{role.nID, role.nEntID};
    if (mountsdb::hasRow(db, {"select * from ROLE where role_id=? and ent_id=?;", key})) {
      db.executeUpdateRetry(
          "update ROLE set name=?,orgadmin=?,description=?,permissions=?,addtime=? "
          "where role_id=? and ent_id=?;",
          {role.strName, role.bOrgAdmin ? 1 : 0, role.strDescription, role.strPermissions,
           role.strAddTime, role.nID, role.nEntID});
    } else {
      insertRole(db, role);
    }
  });
}

void Mountsdb::resetAllRoles(const std::vector<EntRoleEx>& roles) {
  inDatabase([&](FMDatabase& db) {
    inBatch(db, [&] {
      db.executeUpdateRetry("delete from ROLE;");
      for (const EntRoleEx& role : roles) insertRole(db, role);
    });
  });
}

std::vector<EntRoleEx> Mountsdb::getRoles() {
  // The role's optional texts keep a NULL column as "no value".
  return mountsdb::selectAll(*this, "select * from ROLE;", {}, [](FMResultSet& set) {
    EntRoleEx role;
    role.nID = set.longForColumn("role_id");
    role.nEntID = set.longForColumn("ent_id");
    role.strName = set.stringForColumn("name");
    role.bOrgAdmin = set.longForColumn("orgadmin") >= 1;
    role.strDescription = set.stringForColumn("description");
    role.strPermissions = set.stringForColumn("permissions").value_or("");
    role.strAddTime = set.stringForColumn("addtime");
    return role;
  });
}

void Mountsdb::removeRole(std::int64_t roleId, std::int64_t entId) {
  mountsdb::write(*this, "delete from ROLE where role_id=? and ent_id=?;", {roleId, entId});
}

}  // namespace nb
