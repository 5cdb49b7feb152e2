// The dialog list rows of the message store.
#include <fmt/format.h>

#include "foundation/json/Json.h"
#include "stores/messages/MessageDb.h"
#include "stores/common/StoreBatch.h"
#include "stores/messages/MessageDbRows.h"
#include "stores/messages/MessageDbTables.h"

namespace nb {

using namespace messagedb;

namespace {

Dialog readDialog(FMResultSet& set) {
  Dialog d;
  d.strDialogID = text(set, "dialogid");
  d.ullDateline = static_cast<std::uint64_t>(set.longForColumn("dateline"));
  d.ullReadMessageDateline = static_cast<std::uint64_t>(set.longForColumn("readmessagedateline"));
  d.ullLastMessageDateline = static_cast<std::uint64_t>(set.longForColumn("lastmessagedateline"));
  d.ullSettingDateline = static_cast<std::uint64_t>(set.longForColumn("getsettingdateline"));
  d.strSetting = text(set, "setting");
  d.strName = text(set, "name");
  d.strType = text(set, "type");
  d.strCreator = text(set, "creator");
  d.ullSticky = static_cast<std::uint64_t>(set.longForColumn("sticky"));
  d.strProperty = text(set, "property");
  d.strFile = text(set, "file");
  d.nUnread = set.longForColumn("unread");
  d.nEntID = set.longForColumn("entid");
  d.strLastMessage = text(set, "lastmessage");
  return d;
}

std::string selectDialog() {
  return fmt::format("select * from {} where dialogid = ?;", kDialogList);
}

void upsertDialog(FMDatabase& db, const Dialog& d) {
  if (hasRow(db, selectDialog(), {d.strDialogID})) {
    db.executeUpdateRetry(
        fmt::format("Update {} set dateline=?,readmessagedateline=?,lastmessagedateline=?,"
                    "getsettingdateline=?,setting=?,name=?,type=?,creator=?,sticky=?,property=?,"
                    "file=?,unread=?,entid=?,lastmessage=? where dialogid=?;",
                    kDialogList),
        {d.ullDateline, d.ullReadMessageDateline, d.ullLastMessageDateline, d.ullSettingDateline,
         d.strSetting, d.strName, d.strType, d.strCreator, d.ullSticky, d.strProperty, d.strFile,
         d.nUnread, d.nEntID, d.strLastMessage, d.strDialogID});
    return;
  }
  db.executeUpdateRetry(
      fmt::format("insert into {} (dialogid,dateline,readmessagedateline,lastmessagedateline,"
                  "getsettingdateline,setting,name,type,creator,sticky,property,file,unread,entid,"
                  "lastmessage) values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?);",
                  kDialogList),
      {d.strDialogID, d.ullDateline, d.ullReadMessageDateline, d.ullLastMessageDateline,
       d.ullSettingDateline, d.strSetting, d.strName, d.strType, d.strCreator, d.ullSticky,
       d.strProperty, d.strFile, d.nUnread, d.nEntID, d.strLastMessage});
}

// The value of a partial update's key as the text that goes into its column,
// or nothing when the key is absent or of a kind the column cannot take.
std::optional<std::string> scalarText(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (v == nullptr || !(v->isString() || v->isNumber())) return std::nullopt;
  return v->toText();
}

std::optional<std::string> nestedText(const JsonValue& object, std::string_view key) {
  const JsonValue* v = object.find(key);
  if (v == nullptr || !(v->isString() || v->isContainer())) return std::nullopt;
  return jsonNestedText(object, key);
}

// JSON key, column, and whether the value is kept JSON; in statement order.
struct PartialColumn {
  const char* key;
  const char* column;
  bool nested;
};
constexpr PartialColumn kPartialColumns[] = {
    {"dateline", "dateline", false},
    {"read_dateline", "readmessagedateline", false},
    {"last_dateline", "lastmessagedateline", false},
    {"setting_dateline", "getsettingdateline", false},
    {"setting", "setting", true},
    {"name", "name", false},
    {"type", "type", false},
    {"creator", "creator", false},
    {"sticky_dateline", "sticky", false},
    {"property", "property", true},
    {"file", "file", true},
    {"unread_count", "unread", false},
    {"last_message", "lastmessage", true},
};

void updateColumn(MessageDb& store, const char* sql, const std::string& dialogid,
                  std::uint64_t dateline, const std::string* setting = nullptr) {
  store.inDatabase([&](FMDatabase& db) {
    const std::string statement = fmt::format(fmt::runtime(sql), kDialogList);
    if (setting != nullptr) {
      db.executeUpdateRetry(statement, {dateline, *setting, dialogid});
    } else {
      db.executeUpdateRetry(statement, {dateline, dialogid});
    }
  });
}

constexpr const char* kUpdateSetting =
    "update {} set getsettingdateline=?,setting=? where dialogid=?;";
constexpr const char* kUpdateRead = "update {} set readmessagedateline=? where dialogid=?;";

std::uint64_t readColumn(MessageDb& store, const std::string& dialogid, const char* column) {
  std::uint64_t value = 0;
  store.inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(selectDialog(), {dialogid});
    if (set && set->next()) value = static_cast<std::uint64_t>(set->longForColumn(column));
    if (set) set->close();
  });
  return value;
}

}  // namespace

void MessageDb::addDialog(const Dialog& dialog) {
  inDatabase([&](FMDatabase& db) { upsertDialog(db, dialog); });
}

void MessageDb::addDialogs(const std::vector<Dialog>& dialogs) {
  inDatabase(
      [&](FMDatabase& db) { inBatch(db, dialogs, [&](const Dialog& d) { upsertDialog(db, d); }); });
}

void MessageDb::updateDialog(std::string_view json) {
  const auto object = objectFromJSONString(json);
  if (!object || !object->isObject()) return;
  const std::string dialogid = jsonTextOrEmpty(*object, "id");
  std::string assignments;
  SqlArgs args;
  for (const PartialColumn& c : kPartialColumns) {
    auto value = c.nested ? nestedText(*object, c.key) : scalarText(*object, c.key);
    if (!value) continue;
    if (!assignments.empty()) assignments += ',';
    assignments += fmt::format("{}=?", c.column);
    args.emplace_back(std::move(*value));
  }
  args.emplace_back(dialogid);
  inDatabase([&](FMDatabase& db) {
    if (!hasRow(db, selectDialog(), {dialogid}) || assignments.empty()) return;
    db.executeUpdateRetry(
        fmt::format("Update {} set {} where dialogid=?;", kDialogList, assignments), args);
  });
}

void MessageDb::deleteDialog(const std::string& dialogid) {
  inDatabase([&](FMDatabase& db) {
    for (const char* table : {kDialogList, kDialogMember, kDialogMessage}) {
      db.executeUpdateRetry(fmt::format("delete from {} where dialogid= ?;", table), {dialogid});
    }
  });
}

std::vector<Dialog> MessageDb::getDialogs() {
  std::vector<Dialog> dialogs;
  inDatabase([&](FMDatabase& db) {
    dialogs = readAll<Dialog>(db, fmt::format("select * from {};", kDialogList), {}, readDialog);
  });
  return dialogs;
}

Dialog MessageDb::getDialog(const std::string& dialogid) {
  Dialog dialog;
  inDatabase([&](FMDatabase& db) {
    auto set = db.executeQuery(selectDialog(), {dialogid});
    if (set && set->next()) dialog = readDialog(*set);
    if (set) set->close();
  });
  return dialog;
}

std::vector<Dialog> MessageDb::searchDialogs(const std::string& key) {
  std::vector<Dialog> dialogs;
  inDatabase([&](FMDatabase& db) {
    dialogs = readAll<Dialog>(
        db, fmt::format("select * from {} where name like '%' || ? || '%';", kDialogList), {key},
        readDialog);
  });
  return dialogs;
}

std::uint64_t MessageDb::getDialogSettingDateline(const std::string& dialogid) {
  return readColumn(*this, dialogid, "getsettingdateline");
}

std::uint64_t MessageDb::getLastMessageDateline(const std::string& dialogid) {
  return readColumn(*this, dialogid, "lastmessagedateline");
}

void MessageDb::updateDialogSetting(const std::string& dialogid, std::uint64_t dateline,
                                    const std::string& setting) {
  updateColumn(*this, kUpdateSetting, dialogid, dateline, &setting);
}

void MessageDb::updateDialogSettings(const std::vector<DialogSetting>& settings) {
  inDatabase([&](FMDatabase& db) {
    const std::string sql = fmt::format(fmt::runtime(kUpdateSetting), kDialogList);
    inBatch(db, settings, [&](const DialogSetting& s) {
      db.executeUpdateRetry(sql, {s.ullDateline, s.strSetting, s.strDialogID});
    });
  });
}

void MessageDb::updateDialogRead(const std::string& dialogid, std::uint64_t dateline) {
  updateColumn(*this, kUpdateRead, dialogid, dateline);
}

void MessageDb::updateDialogReads(const std::vector<DialogRead>& reads) {
  inDatabase([&](FMDatabase& db) {
    const std::string sql = fmt::format(fmt::runtime(kUpdateRead), kDialogList);
    inBatch(db, reads, [&](const DialogRead& r) {
      db.executeUpdateRetry(sql, {r.ullDateline, r.strDialogID});
    });
  });
}

void MessageDb::updateLastMessageDateline(const std::string& dialogid, std::uint64_t dateline) {
  updateColumn(*this, "update {} set lastmessagedateline=? where dialogid=?;", dialogid, dateline);
}

void MessageDb::updateDialogSticky(const std::string& dialogid, std::uint64_t dateline) {
  updateColumn(*this, "update {} set sticky=? where dialogid=?;", dialogid, dateline);
}

}  // namespace nb
