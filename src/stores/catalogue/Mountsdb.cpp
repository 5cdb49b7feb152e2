#include "stores/catalogue/Mountsdb.h"

#include <array>

#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "platform/Log.h"
#include "stores/catalogue/MountsdbSql.h"

namespace nb {

namespace {

// The declared types are those existing files carry (SQLite keeps the
// bracketed lengths as part of the type name and does not enforce them).
constexpr std::string_view kCreateUserConfig =
    "CREATE TABLE IF NOT EXISTS USERCONFIG(key varchar[20],value varchar[8000],"
    "PRIMARY KEY (key));";

constexpr std::array<std::string_view, 8> kCreateOthers = {
    "CREATE TABLE IF NOT EXISTS MOUNTS(mountid int,orgid int,orgname varchar[100],type int,"
    "orguse bigint,orgtotal bigint,entid int,propertys varchar[4000],info text,"
    "dateline bigint,orgtype int,PRIMARY KEY (mountid));",
    "CREATE TABLE IF NOT EXISTS ENTS(entid int,entname varchar[1000],info text,"
    "PRIMARY KEY (entid));",
    "CREATE TABLE IF NOT EXISTS HOTFILE(uuidhash varchar[40],PRIMARY KEY (uuidhash));",
    "CREATE TABLE IF NOT EXISTS FAVORITESINFO(id int,type int,name varchar [200],"
    "color varchar [200],PRIMARY KEY (id));",
    "CREATE TABLE IF NOT EXISTS FAVORITESITEM(id int,mount_id int,"
    "hash varchar[40] COLLATE NOCASE,PRIMARY KEY(id,hash));",
    "CREATE TABLE IF NOT EXISTS ROLE(role_id int,ent_id int,name varchar[100] COLLATE NOCASE,"
    "orgadmin int,description varchar[400] COLLATE NOCASE,"
    "permissions varchar[400] COLLATE NOCASE,addtime varchar[20],PRIMARY KEY(role_id));",
    "CREATE TABLE IF NOT EXISTS TEMPLATES(ent_id int,temp_id int,"
    "tpl_name varchar[260] COLLATE NOCASE,ext varchar[260] COLLATE NOCASE,"
    "fullpath varchar[200] COLLATE NOCASE, filehash char[40],filesize bigint,"
    "dateline bigint,propertys char[4000] COLLATE NOCASE);",
    "CREATE TABLE IF NOT EXISTS SETTING(setting varchar[20] COLLATE NOCASE,tvalue int,"
    "propertys char[4000] COLLATE NOCASE);",
};

void createLogged(FMDatabase& db, std::string_view sql) {
  if (!db.executeUpdate(sql)) NBLOG_ERROR("{}", sql);
}

// A column added by a later layout: back-filled only when the ALTER worked,
// since a failing ALTER means the column was already there with real values.
void addColumn(FMDatabase& db, std::string_view alter, std::string_view backfill) {
  if (db.executeUpdate(alter)) db.executeUpdate(backfill);
}

}  // namespace

Mountsdb& Mountsdb::shareMountsdb() {
  static Mountsdb instance;
  return instance;
}

void Mountsdb::setPath(const std::string& path) { MySqlite::setPath(path, true); }

void Mountsdb::exit() { close(); }

void Mountsdb::createTable(bool) {
  inDatabase([](FMDatabase& db) {
    const bool hadUserConfig = mountsdb::hasRow(
        db, {"SELECT name FROM sqlite_master WHERE type='table' and name='USERCONFIG';", {}});
    createLogged(db, kCreateUserConfig);
    if (!hadUserConfig) {
      db.executeUpdateRetry("insert into USERCONFIG(key,value) values('ignore',?);",
                            {kDefaultIgnore});
    }
    for (std::string_view sql : kCreateOthers) createLogged(db, sql);
  });
  initOffice(std::string(kDefaultOffice));
}

void Mountsdb::updateTable() {
  inDatabase([](FMDatabase& db) {
    {
      // Closed before the ALTERs and DROPs below, which an open statement
      // would make fail.
      auto set = db.executeQuery("PRAGMA user_version;");
      if (set && set->next() && set->longForColumn("user_version") != 0) return;
    }
    addColumn(db, "ALTER TABLE ENTS add info text;", "update ENTS set info ='';");
    addColumn(db, "ALTER TABLE MOUNTS add info text;", "update MOUNTS set info ='';");
    addColumn(db, "ALTER TABLE MOUNTS add dateline bigint;", "update MOUNTS set dateline =0;");
    db.executeUpdate("DROP TABLE FAVORITES;");
    db.executeUpdate("DROP TABLE MAGICFOLDER;");
    db.executeUpdateRetry("PRAGMA user_version=1;");
  });
}

}  // namespace nb
