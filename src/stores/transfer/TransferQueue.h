#pragma once
// The statements the download and the upload queue of the transfer store
// share, written once over a table descriptor. Internal to the stores layer:
// TransPortDB's queue operations are thin calls into it.
//
// Every operation is one job on the store's queue; writes use the retrying
// update; every caller value is a bound parameter (the table name is ours).
// Without a connection reads answer their empty result and writes do nothing.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "api/models/TransTaskItem.h"
#include "api/models/TransportItem.h"
#include "foundation/sqlite/SqlValue.h"
#include "stores/common/SqlSubtree.h"

namespace nb {

class FMResultSet;
class MySqlite;

// The Download and Upload tables differ in one column (stat / last) and in
// whether page lists hide a kind of record.
struct TransferTable {
  const char* name;
  const char* columns;  // the select list that fills a TransportItem
  bool upload;          // reads `last`, else `stat`
  const char* visible;  // extra condition of page lists and visible counts, or ""
};

extern const TransferTable kDownloadTable;
extern const TransferTable kUploadTable;

// Kind of a download the sync engine queues without a local target; kept out
// of page lists and of the visible count.
inline constexpr std::int64_t kDownloadHidden = 256;
// Kinds of upload the clean-up and the merge treat apart.
inline constexpr std::int64_t kUploadReopened = 1;
inline constexpr std::int64_t kUploadHashOnly = 2;

// Fills a record from a row selected with `table.columns`; an offset beyond
// the size reads as the size.
TransportItem readTransportItem(FMResultSet& row, const TransferTable& table);
TransTaskItem readTransTaskItem(FMResultSet& row, const TransferTable& table);

// The current time of the injectable clock, whole seconds since 1970.
std::int64_t transferNow();

class TransferQueue {
 public:
  TransferQueue(MySqlite& store, const TransferTable& table) : store_(store), table_(table) {}

  // One write: "update <table> set <assignments> where id = ?" with `args`
  // then the id.
  void updateById(std::int64_t id, std::string_view assignments, SqlArgs args) const;
  // One write with the whole statement text after "<verb> <table> ".
  bool write(std::string_view verb, std::string_view rest, const SqlArgs& args = {}) const;

  // Records of the rows "select <columns> from <table> <rest>".
  std::vector<TransportItem> items(std::string_view rest, const SqlArgs& args = {}) const;
  // The record of the first row, or a record with nIndex 0.
  TransportItem item(std::string_view rest, const SqlArgs& args) const;
  // The first column of the first row as an integer, or 0.
  std::int64_t number(std::string_view sql, const SqlArgs& args = {}) const;

  // Changes of one record by id (a missing id changes nothing).
  void start(std::int64_t id) const;         // waiting, no error, offered at once
  void startActlast(std::int64_t id) const;  // running since now
  void setStatus(std::int64_t id, std::int64_t status) const;
  // Back to waiting at `offset`, not offered before `actlast`.
  void normal(std::int64_t id, std::uint64_t offset, std::int64_t actlast) const;
  void stop(std::int64_t id, std::uint64_t offset) const;
  void setOffset(std::int64_t id, std::uint64_t offset) const;
  void finish(std::int64_t id) const;  // offset = size, finished now
  void setActlast(std::int64_t id, std::int64_t status, std::uint64_t time) const;
  void fail(std::int64_t id, std::int64_t error, const std::string& msg) const;
  void remove(std::int64_t id) const;

  // Waiting rows outside the postponement window [now, now + 600], kinds
  // high to low, then the oldest activity, then the oldest id; at most 1000.
  std::vector<TransTaskItem> nextJobs() const;
  std::vector<TransportItem> page(std::int64_t start, std::int64_t count) const;
  std::vector<TransportItem> pageFinished(std::int64_t start, std::int64_t count) const;
  // Unfinished rows of the library at or under `webpath`.
  std::vector<TransportItem> under(std::int64_t mountid, const std::string& webpath) const;
  void removeUnder(std::int64_t mountid, const std::string& webpath) const;
  // Whether an unfinished (visible) row has `webpath`, or for a folder lies
  // at or under it.
  bool check(std::int64_t mountid, const std::string& webpath, bool dir) const;
  std::int64_t countUnfinished(bool visibleOnly) const;

  void startAll() const;
  void stopAll() const;
  void resetError() const;
  void deleteAll() const;
  void deleteAllFinish() const;

  const TransferTable& table() const { return table_; }

 private:
  MySqlite& store_;
  const TransferTable& table_;
};

}  // namespace nb
