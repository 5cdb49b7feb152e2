#include "stores/messages/MessageDb.h"

#include <fmt/format.h>

#include "api/session/UserData.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/text/StringHelpers.h"
#include "platform/Log.h"
#include "stores/messages/MessageDbTables.h"

namespace nb {

using namespace messagedb;

namespace {

// Shared with the content cache's key; changing it makes every existing
// message store unreadable.
constexpr std::string_view kKeySalt = "{A4C19E72-3F05-4B8D-9E61-D27B05F3C8A9}";

bool createLogged(FMDatabase& db, const std::string& sql) {
  if (db.executeUpdate(sql)) return true;
  NBLOG_ERROR("{}", sql);
  return false;
}

void seedDateline(FMDatabase& db, const char* name) {
  const std::string select = fmt::format("select * from {} where name =?;", kTableDateline);
  auto set = db.executeQuery(select, {name});
  const bool present = set && set->next();
  if (set) set->close();
  if (!present) {
    db.executeUpdateRetry(
        fmt::format("insert into {} (name,dateline) values (?,0);", kTableDateline), {name});
  }
}

// Adds a column; the back-fill runs only when the column was new.
void addColumn(FMDatabase& db, const char* table, const char* column, const char* backfill) {
  if (db.executeUpdate(fmt::format("ALTER TABLE {} add {};", table, column))) {
    db.executeUpdateRetry(fmt::format("update {} set {};", table, backfill));
  }
}

}  // namespace

std::string MessageDb::messageKey(std::string_view computerid, std::int64_t userID) {
  return sha1HexDigest(fmt::format("{}_{}_{}", computerid, userID, kKeySalt));
}

std::shared_ptr<MessageDb> MessageDb::initpath(const std::string& path,
                                               std::string_view computerid, std::int64_t userID) {
  auto db = std::make_shared<MessageDb>();
  db->setStrKey(messageKey(computerid, userID));
  db->init(path, true);
  return db;
}

std::shared_ptr<MessageDb> MessageDb::initpath(const std::string& path) {
  const UserData& session = UserData::shareUserData();
  return initpath(path, session.computerid(), session.userID());
}

std::string MessageDb::strKey() const {
  std::lock_guard lock(keyMutex_);
  return strKey_;
}

void MessageDb::setStrKey(std::string key) {
  std::lock_guard lock(keyMutex_);
  strKey_ = std::move(key);
}

void MessageDb::createTable(bool integrity) {
  // A reopened connection would lack the key: every later job of a closed
  // store must fail instead.
  if (const auto queue = dbQueue()) queue->setReopenAllowed(false);
  const std::string key = strKey();
  inDatabase([&](FMDatabase& db) {
    if (!db.setKey(key)) NBLOG_ERROR("could not key the message store {}", strFilePath());
    createLogged(db, fmt::format(
        "CREATE TABLE IF NOT EXISTS {}(dialogid varchar[50],dateline bigint,readmessagedateline "
        "bigint,lastmessagedateline bigint,getsettingdateline bigint,setting varchar[1000],name "
        "varchar[50],type varchar[50],creator varchar[20],sticky bigint,property varchar[1000],"
        "file varchar[1000],unread int,entid int,lastmessage varchar[1000],PRIMARY "
        "KEY(dialogid));",
        kDialogList));
    createLogged(db, fmt::format(
        "CREATE TABLE IF NOT EXISTS {}(dialogid varchar[50],memberid int,membername "
        "varchar[50],avatar varchar[200],joindateline bigint,property varchar[1000],PRIMARY "
        "KEY(dialogid,memberid));",
        kDialogMember));
    createLogged(db, fmt::format(
        "CREATE TABLE IF NOT EXISTS {}(dialogid varchar[50],sender varchar[20],content "
        "varchar[4000],file varchar[4000],act varchar[20],metadata text,id varchar[100],state "
        "int,dateline bigint,property varchar[1000],permission varchar[1000],at text,PRIMARY "
        "KEY(id));",
        kDialogMessage));
    if (createLogged(db, fmt::format("CREATE TABLE IF NOT EXISTS {}(name varchar[100],dateline "
                                     "bigint,PRIMARY KEY(name));",
                                     kTableDateline))) {
      for (const char* name : {kDatelineDialog, kDatelineRead, kDatelineSetting}) {
        seedDateline(db, name);
      }
    }
    if (integrity) db.executeUpdate("VACUUM;");
  });
}

void MessageDb::updateTable() {
  inDatabase([](FMDatabase& db) {
    addColumn(db, kDialogList, "file varchar[1000]", "file=''");
    addColumn(db, kDialogList, "unread int", "unread=0");
    addColumn(db, kDialogList, "entid int", "entid=0");
    addColumn(db, kDialogList, "lastmessage varchar[1000]", "lastmessage=''");
    addColumn(db, kDialogMessage, "at text", "at=''");
  });
}

std::uint64_t MessageDb::getTableDateline(const std::string& name) {
  std::uint64_t dateline = 0;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(
        fmt::format("select dateline from {} where name =?;", kTableDateline), {name});
    while (set && set->next()) dateline = static_cast<std::uint64_t>(set->longForColumnIndex(0));
  });
  return dateline;
}

void MessageDb::setTableDateline(const std::string& name, std::uint64_t dateline) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(fmt::format("Update {} set dateline=? where name = ?;", kTableDateline),
                          {dateline, name});
  });
}

}  // namespace nb
