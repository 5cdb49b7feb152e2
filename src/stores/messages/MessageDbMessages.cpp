// The dialog message rows of the message store.
#include <fmt/format.h>

#include "stores/messages/MessageDb.h"
#include "stores/common/StoreBatch.h"
#include "stores/messages/MessageDbRows.h"
#include "stores/messages/MessageDbTables.h"

namespace nb {

using namespace messagedb;

namespace {

DialogMessage readMessage(FMResultSet& set) {
  DialogMessage m;
  m.strDialogID = text(set, "dialogid");
  m.strSender = text(set, "sender");
  m.strContent = text(set, "content");
  m.strFile = text(set, "file");
  m.strAct = text(set, "act");
  m.strMetadata = text(set, "metadata");
  m.strID = text(set, "id");
  m.nState = set.longForColumn("state");
  m.ullDateline = static_cast<std::uint64_t>(set.longForColumn("dateline"));
  m.strProperty = text(set, "property");
  m.strPermission = text(set, "permission");
  m.strAt = text(set, "at");
  return m;
}

void upsertMessage(FMDatabase& db, const DialogMessage& m) {
  const std::string select =
      fmt::format("select * from {} where dialogid = ? and id=?;", kDialogMessage);
  if (hasRow(db, select, {m.strDialogID, m.strID})) {
    db.executeUpdateRetry(
        fmt::format("Update {} set sender=?,content=?,file=?,act=?,metadata=?,state=?,dateline=?,"
                    "property=?,permission=?,at=? where dialogid=? and id=?;",
                    kDialogMessage),
        {m.strSender, m.strContent, m.strFile, m.strAct, m.strMetadata, m.nState, m.ullDateline,
         m.strProperty, m.strPermission, m.strAt, m.strDialogID, m.strID});
    return;
  }
  // The key is the id alone: an id stored under another dialog fails here
  // and stays as it was.
  db.executeUpdateRetry(
      fmt::format("insert into {} (dialogid,sender,content,file,act,metadata,id,state,dateline,"
                  "property,permission,at) values (?,?,?,?,?,?,?,?,?,?,?,?);",
                  kDialogMessage),
      {m.strDialogID, m.strSender, m.strContent, m.strFile, m.strAct, m.strMetadata, m.strID,
       m.nState, m.ullDateline, m.strProperty, m.strPermission, m.strAt});
}

std::string deleteMessageSql() {
  return fmt::format("delete from {} where dialogid= ? and id=?;", kDialogMessage);
}

std::vector<DialogMessage> query(MessageDb& store, const std::string& sql, const SqlArgs& args) {
  std::vector<DialogMessage> messages;
  store.inDatabase(
      [&](FMDatabase& db) { messages = readAll<DialogMessage>(db, sql, args, readMessage); });
  return messages;
}

}  // namespace

void MessageDb::addDialogMessage(const DialogMessage& message) {
  inDatabase([&](FMDatabase& db) { upsertMessage(db, message); });
}

void MessageDb::addDialogMessages(const std::vector<DialogMessage>& messages) {
  inDatabase([&](FMDatabase& db) {
    inBatch(db, messages, [&](const DialogMessage& m) { upsertMessage(db, m); });
  });
}

void MessageDb::addDialogMessages(const std::string& dialogid, std::vector<DialogMessage>& items) {
  for (DialogMessage& item : items) item.strDialogID = dialogid;
  addDialogMessages(items);
}

void MessageDb::deleteDialogMessage(const std::string& dialogid, const std::string& messageid) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(deleteMessageSql(), {dialogid, messageid});
  });
}

void MessageDb::deleteDialogMessages(const std::string& dialogid,
                                     const std::vector<std::string>& messageids) {
  inDatabase([&](FMDatabase& db) {
    const std::string sql = deleteMessageSql();
    inBatch(db, messageids, [&](const std::string& id) {
      db.executeUpdateRetry(sql, {dialogid, id});
    });
  });
}

void MessageDb::deleteDialogMessages(const std::string& dialogid) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(fmt::format("delete from {} where dialogid= ?;", kDialogMessage),
                          {dialogid});
  });
}

void MessageDb::updateDialogMessageState(const std::string& dialogid, const std::string& messageid,
                                         std::int64_t state) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(
        fmt::format("Update {} set state=? where dialogid=? and id=?;", kDialogMessage),
        {state, dialogid, messageid});
  });
}

void MessageDb::updateDialogMessageDateline(const std::string& dialogid,
                                            const std::string& messageid, std::uint64_t dateline) {
  inDatabase([&](FMDatabase& db) {
    db.executeUpdateRetry(
        fmt::format("Update {} set dateline=? where dialogid=? and id=?;", kDialogMessage),
        {dateline, dialogid, messageid});
  });
}

std::vector<DialogMessage> MessageDb::getDialogMessages(const std::string& dialogid,
                                                        std::uint64_t dateline, std::int64_t count,
                                                        bool before) {
  // Comparisons are strict: a message at exactly `dateline` is never given.
  const char* compare = before ? "<" : ">";
  if (count == 0) {
    return query(*this,
                 fmt::format("select * from {} where dialogid=? and dateline {} ? order by "
                             "dateline asc;",
                             kDialogMessage, compare),
                 {dialogid, dateline});
  }
  return query(*this,
               fmt::format("select * from (select * from {} where dialogid=? and dateline {} ? "
                           "order by dateline desc limit ?) order by dateline asc;",
                           kDialogMessage, compare),
               {dialogid, dateline, count});
}

std::vector<DialogMessage> MessageDb::searchDialogMessages(const std::string& dialogid,
                                                           const std::string& key,
                                                           std::int64_t count) {
  const std::string sql = fmt::format(
      "select * from {} where dialogid =? and content like '%' || ? || '%'", kDialogMessage);
  if (count == 0) return query(*this, sql + ";", {dialogid, key});
  return query(*this, sql + " limit ?;", {dialogid, key, count});
}

std::vector<DialogMessage> MessageDb::searchDialogMessages(const std::string& key,
                                                           std::int64_t count) {
  const std::string sql =
      fmt::format("select * from {} where content like '%' || ? || '%'", kDialogMessage);
  if (count == 0) return query(*this, sql + ";", {key});
  return query(*this, sql + " limit ?;", {key, count});
}

}  // namespace nb
