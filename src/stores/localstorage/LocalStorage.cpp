#include "stores/localstorage/LocalStorage.h"

#include <fmt/format.h>

#include "api/session/UserData.h"
#include "foundation/sqlite/FMResultSet.h"
#include "platform/Clock.h"

namespace nb {

namespace {

constexpr std::int64_t kStaleSeconds = 604800;  // seven days

std::int64_t now() { return static_cast<std::int64_t>(platform::nowSeconds()); }

}  // namespace

LocalStorage& LocalStorage::shareLocalStorage() {
  static LocalStorage store(UserData::shareUserData().getlocalstorage());
  return store;
}

LocalStorage::LocalStorage(const std::string& path) { init(path, true); }

void LocalStorage::createTable(bool integrity) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdate(
        "CREATE TABLE IF NOT EXISTS localstorage(key varchar[1000],value ntext,time "
        "bigint,PRIMARY KEY (key));");
    db.executeUpdate("CREATE INDEX IF NOT EXISTS ikey on localstorage(key);");
    if (integrity) db.executeUpdate("VACUUM;");
  });
}

void LocalStorage::insertItem(std::string_view key, std::string_view value) {
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select * from localstorage where key = ?;", {key});
    bool present = false;
    while (set && set->next()) present = true;
    if (present) {
      db.executeUpdateRetry("update localstorage set value=?,time=? where key=?;",
                            {value, now(), key});
    } else {
      db.executeUpdateRetry("insert into localstorage(key,value,time) values(?,?,?);",
                            {key, value, now()});
    }
  });
}

std::string LocalStorage::getItem(std::string_view key) {
  std::string value;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery("select value from localstorage where key=?;", {key});
    if (set && set->next()) value = set->stringForColumn("value").value_or(std::string());
    if (set) set->close();
  });
  return value;
}

void LocalStorage::deleteItem(std::string_view key) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("delete from localstorage where key=?;", {key});
  });
}

void LocalStorage::deleteLikeKey(std::int64_t userID) {
  // Digits and "." are no LIKE wildcards, so the pattern is the plain prefix.
  const std::string pattern = fmt::format("{}.%", userID);
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry("delete from localstorage where key like ?;", {pattern});
  });
}

void LocalStorage::clearAll() {
  inDatabase([](FMDatabase& db) { db.executeUpdateRetry("delete from localstorage;"); });
}

void LocalStorage::clearTime() {
  inDatabase([](FMDatabase& db) {
    db.executeUpdateRetry("delete from localstorage where time<?;", {now() - kStaleSeconds});
  });
}

}  // namespace nb
