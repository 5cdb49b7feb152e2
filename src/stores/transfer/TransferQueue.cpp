#include "stores/transfer/TransferQueue.h"

#include <fmt/format.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMDatabaseAdditions.h"
#include "foundation/sqlite/FMResultSet.h"
#include "foundation/sqlite/MySqlite.h"
#include "platform/Clock.h"

namespace nb {

const TransferTable kDownloadTable{
    "Download",
    "id, mountid, webpath, fullpath, filehash, filesize, dir, status, offset, actlast, expand, "
    "sync, errornum, errormsg, stat",
    false, " AND expand <> 256"};

const TransferTable kUploadTable{
    "Upload",
    "id, mountid, webpath, fullpath, filehash, filesize, dir, status, offset, last, actlast, "
    "expand, sync, errornum, errormsg",
    true, ""};

namespace {

// The next-job lists hold back a waiting record whose activity time lies in
// [now, now + kPostponeWindow] and take at most kMaxNextJobs rows.
constexpr std::int64_t kPostponeWindow = 600;
constexpr int kMaxNextJobs = 1000;

std::string text(FMResultSet& row, std::string_view column) {
  return row.stringForColumn(column).value_or("");
}

std::uint64_t clampedOffset(FMResultSet& row) {
  const auto size = static_cast<std::uint64_t>(row.longForColumn("filesize"));
  const auto offset = static_cast<std::uint64_t>(row.longForColumn("offset"));
  return offset > size ? size : offset;
}

// The fields a queue record and a next-job record share.
template <typename Record>
void fillShared(FMResultSet& row, const TransferTable& table, Record& record) {
  record.nIndex = row.longForColumn("id");
  record.nMountid = row.longForColumn("mountid");
  record.strWebpath = text(row, "webpath");
  record.strFilehash = text(row, "filehash");
  record.ullFilesize = static_cast<std::uint64_t>(row.longForColumn("filesize"));
  record.bDir = row.boolForColumn("dir");
  record.nStatus = row.longForColumn("status");
  record.ullOffset = clampedOffset(row);
  record.nExpand = row.longForColumn("expand");
  record.bSync = row.boolForColumn("sync");
  if (table.upload) {
    record.ullLast = static_cast<std::uint64_t>(row.longForColumn("last"));
  } else {
    record.nStat = row.longForColumn("stat");
  }
}

}  // namespace

TransportItem readTransportItem(FMResultSet& row, const TransferTable& table) {
  TransportItem item;
  fillShared(row, table, item);
  item.strFullpath = text(row, "fullpath");
  item.ullActlast = static_cast<std::uint64_t>(row.longForColumn("actlast"));
  item.nError = row.longForColumn("errornum");
  item.strError = text(row, "errormsg");
  return item;
}

TransTaskItem readTransTaskItem(FMResultSet& row, const TransferTable& table) {
  TransTaskItem task;
  fillShared(row, table, task);
  task.strSavepath = text(row, "fullpath");
  return task;
}

std::int64_t transferNow() { return static_cast<std::int64_t>(platform::nowSeconds()); }

void TransferQueue::updateById(std::int64_t id, std::string_view assignments,
                               SqlArgs args) const {
  args.emplace_back(id);
  write("update", fmt::format("set {} where id = ?", assignments), args);
}

bool TransferQueue::write(std::string_view verb, std::string_view rest,
                          const SqlArgs& args) const {
  const std::string sql = fmt::format("{} {} {}", verb, table_.name, rest);
  bool ok = false;
  store_.inDatabase([&](FMDatabase& db) { ok = db.executeUpdateRetry(sql, args); });
  return ok;
}

std::vector<TransportItem> TransferQueue::items(std::string_view rest,
                                                const SqlArgs& args) const {
  const std::string sql = fmt::format("select {} from {} {}", table_.columns, table_.name, rest);
  std::vector<TransportItem> result;
  store_.inDatabase([&](FMDatabase& db) {
    auto rows = db.executeQuery(sql, args);
    if (!rows) return;
    while (rows->next()) result.push_back(readTransportItem(*rows, table_));
    rows->close();
  });
  return result;
}

TransportItem TransferQueue::item(std::string_view rest, const SqlArgs& args) const {
  auto found = items(fmt::format("{} limit 1", rest), args);
  return found.empty() ? TransportItem{} : std::move(found.front());
}

std::int64_t TransferQueue::number(std::string_view sql, const SqlArgs& args) const {
  std::int64_t value = 0;
  store_.inDatabase([&](FMDatabase& db) { value = longForQuery(db, sql, args); });
  return value;
}

void TransferQueue::start(std::int64_t id) const {
  updateById(id, "status = 2, errornum = 0, actlast = 0", {});
}

void TransferQueue::startActlast(std::int64_t id) const {
  updateById(id, "status = 1, actlast = ?", {transferNow()});
}

void TransferQueue::setStatus(std::int64_t id, std::int64_t status) const {
  updateById(id, "status = ?", {status});
}

void TransferQueue::normal(std::int64_t id, std::uint64_t offset, std::int64_t actlast) const {
  updateById(id, "status = 2, offset = ?, actlast = ?", {offset, actlast});
}

void TransferQueue::stop(std::int64_t id, std::uint64_t offset) const {
  updateById(id, "offset = ?, status = 3", {offset});
}

void TransferQueue::setOffset(std::int64_t id, std::uint64_t offset) const {
  updateById(id, "offset = ?", {offset});
}

void TransferQueue::finish(std::int64_t id) const {
  updateById(id, "offset = filesize, status = 4, actlast = ?", {transferNow()});
}

void TransferQueue::setActlast(std::int64_t id, std::int64_t status, std::uint64_t time) const {
  updateById(id, "status = ?, actlast = ?", {status, time});
}

void TransferQueue::fail(std::int64_t id, std::int64_t error, const std::string& msg) const {
  updateById(id, "status = 5, errornum = ?, errormsg = ?", {error, msg});
}

void TransferQueue::remove(std::int64_t id) const { write("delete from", "where id = ?", {id}); }

std::vector<TransTaskItem> TransferQueue::nextJobs() const {
  const std::int64_t now = transferNow();
  const std::string sql = fmt::format(
      "select {} from {} where status = 2 and (actlast > ? or actlast < ?) "
      "order by expand desc, actlast asc, id asc limit {}",
      table_.columns, table_.name, kMaxNextJobs);
  std::vector<TransTaskItem> result;
  store_.inDatabase([&](FMDatabase& db) {
    auto rows = db.executeQuery(sql, {now + kPostponeWindow, now});
    if (!rows) return;
    while (rows->next()) result.push_back(readTransTaskItem(*rows, table_));
    rows->close();
  });
  return result;
}

std::vector<TransportItem> TransferQueue::page(std::int64_t start, std::int64_t count) const {
  return items(fmt::format("where status <> 4{} order by expand desc, id asc limit ? offset ?",
                           table_.visible),
               {count, start});
}

std::vector<TransportItem> TransferQueue::pageFinished(std::int64_t start,
                                                       std::int64_t count) const {
  return items(
      fmt::format("where status = 4{} order by actlast desc limit ? offset ?", table_.visible),
      {count, start});
}

std::vector<TransportItem> TransferQueue::under(std::int64_t mountid,
                                                const std::string& webpath) const {
  SqlArgs args{mountid};
  appendAtOrSubtreeArgs(args, webpath);
  return items(fmt::format("where mountid = ? and status <> 4 and {}", atOrSubtreeOf("webpath")),
               args);
}

void TransferQueue::removeUnder(std::int64_t mountid, const std::string& webpath) const {
  SqlArgs args{mountid};
  appendAtOrSubtreeArgs(args, webpath);
  write("delete from",
        fmt::format("where mountid = ? and status <> 4 and {}", atOrSubtreeOf("webpath")), args);
}

bool TransferQueue::check(std::int64_t mountid, const std::string& webpath, bool dir) const {
  SqlArgs args{mountid};
  std::string match = "webpath = ?";
  if (dir) {
    match = atOrSubtreeOf("webpath");
    appendAtOrSubtreeArgs(args, webpath);
  } else {
    args.emplace_back(webpath);
  }
  return number(fmt::format("select count(*) from {} where mountid = ? and status <> 4{} and {}",
                            table_.name, table_.visible, match),
                args) > 0;
}

std::int64_t TransferQueue::countUnfinished(bool visibleOnly) const {
  return number(fmt::format("select count(*) from {} where status <> 4{}", table_.name,
                            visibleOnly ? table_.visible : ""));
}

void TransferQueue::startAll() const {
  write("update",
        "set status = 2, errornum = 0, actlast = 0 "
        "where status <> 2 and status <> 1 and status <> 4");
}

void TransferQueue::stopAll() const {
  write("update", "set status = 3, errornum = 0, actlast = 0 where status <> 3 and status <> 4");
}

void TransferQueue::resetError() const {
  // The error-number condition is the historical selection; for every error
  // number the engine stores it holds, so in effect every failed row returns.
  write("update", "set status = 2, actlast = 0 where status = 5 and errornum * 120 < ?",
        {transferNow()});
}

void TransferQueue::deleteAll() const {
  write("delete from", "where status <> 4 and ifnull(sync, 0) <> 1");
}

void TransferQueue::deleteAllFinish() const { write("delete from", "where status = 4"); }

}  // namespace nb
