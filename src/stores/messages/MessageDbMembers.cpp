// The dialog member rows of the message store.
#include <fmt/format.h>

#include "stores/messages/MessageDb.h"
#include "stores/common/StoreBatch.h"
#include "stores/messages/MessageDbRows.h"
#include "stores/messages/MessageDbTables.h"

namespace nb {

using namespace messagedb;

namespace {

// Member ids are read whole: ids above 2^31 exist on large deployments.
DialogMember readMember(FMResultSet& set) {
  DialogMember m;
  m.strDialogID = text(set, "dialogid");
  m.nMemberID = set.longForColumn("memberid");
  m.strMemberName = text(set, "membername");
  m.strAvatar = text(set, "avatar");
  m.ullJoinDateline = static_cast<std::uint64_t>(set.longForColumn("joindateline"));
  m.strProperty = text(set, "property");
  return m;
}

std::string selectMember() {
  return fmt::format("select * from {} where dialogid = ? and memberid=?;", kDialogMember);
}

void upsertMember(FMDatabase& db, const DialogMember& m) {
  if (hasRow(db, selectMember(), {m.strDialogID, m.nMemberID})) {
    db.executeUpdateRetry(
        fmt::format("Update {} set membername=?,avatar=?,joindateline=?,property=? where "
                    "dialogid=? and memberid=?;",
                    kDialogMember),
        {m.strMemberName, m.strAvatar, m.ullJoinDateline, m.strProperty, m.strDialogID,
         m.nMemberID});
    return;
  }
  db.executeUpdateRetry(
      fmt::format("insert into {} (dialogid,memberid,membername,avatar,joindateline,property) "
                  "values (?,?,?,?,?,?);",
                  kDialogMember),
      {m.strDialogID, m.nMemberID, m.strMemberName, m.strAvatar, m.ullJoinDateline, m.strProperty});
}

std::string deleteMemberSql() {
  return fmt::format("delete from {} where dialogid= ? and memberid=?;", kDialogMember);
}

}  // namespace

void MessageDb::addDialogMember(const DialogMember& member) {
  inDatabase([&](FMDatabase& db) { upsertMember(db, member); });
}

void MessageDb::addDialogMembers(const std::vector<DialogMember>& members) {
  inDatabase([&](FMDatabase& db) {
    inBatch(db, members, [&](const DialogMember& m) { upsertMember(db, m); });
  });
}

void MessageDb::deleteDialogMember(const std::string& dialogid, std::int64_t memberid) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(deleteMemberSql(), {dialogid, memberid});
  });
}

void MessageDb::deleteDialogMembers(const std::string& dialogid,
                                    const std::vector<JsonValue>& memberids) {
  inDatabase([&](FMDatabase& db) {
    const std::string sql = deleteMemberSql();
    inBatch(db, memberids, [&](const JsonValue& id) {
      db.executeUpdateRetry(sql, {dialogid, id.toInt64()});
    });
  });
}

void MessageDb::deleteDialogAllMembers(const std::string& dialogid) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(fmt::format("delete from {} where dialogid= ?;", kDialogMember),
                          {dialogid});
  });
}

std::vector<DialogMember> MessageDb::getDialogMembers(const std::string& dialogid) {
  std::vector<DialogMember> members;
  inDatabase([&](FMDatabase& db) {
    members =
        readAll<DialogMember>(db, fmt::format("select * from {} where dialogid=?;", kDialogMember),
                              {dialogid}, readMember);
  });
  return members;
}

std::vector<DialogMember> MessageDb::getDialogMembers(const std::string& dialogid,
                                                      std::int64_t start, std::int64_t count) {
  std::vector<DialogMember> members;
  inDatabase([&](FMDatabase& db) {
    members = readAll<DialogMember>(
        db, fmt::format("select * from {} where dialogid=? limit ? offset ?;", kDialogMember),
        {dialogid, count, start}, readMember);
  });
  return members;
}

DialogMember MessageDb::getDialogMember(const std::string& dialogid, std::int64_t memberid) {
  DialogMember member;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(selectMember(), {dialogid, memberid});
    if (set && set->next()) member = readMember(*set);
    if (set) set->close();
  });
  return member;
}

}  // namespace nb
