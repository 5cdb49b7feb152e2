#pragma once
// The pages' local storage: a key/value store that outlives page reloads and
// restarts and is shared by every window. It belongs to the installation;
// pages keep per-user entries apart by starting their keys with
// "<user id>.", which deleteLikeKey removes at log-out.
//
// Each operation is one job on the store's queue, synchronous on the
// caller's thread; values reach SQL only as bound parameters. A failed write
// is dropped; a failed read answers "" like a missing key.
//
// The page functions gSetLocalCache, gGetLocalCache and gDeleteLocalCache
// read "key" (and "value") of their JSON argument and call insertItem,
// getItem and deleteItem; an argument that is not a JSON object, or a key
// that is not a text, does nothing (the get answers ""). A value that is not
// a text is stored as "".
//
// Thread-safety: every member may be called from any thread.

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/sqlite/MySqlite.h"

namespace nb {

class LocalStorage : public MySqlite {
 public:
  // The process-wide store on "velocalstorage3.db" of the configuration
  // folder, opened at first use and kept open for the life of the process.
  static LocalStorage& shareLocalStorage();

  // Opens (creating) the store at `path`, compacting it. For the shared
  // instance and tests.
  explicit LocalStorage(const std::string& path);

  // Creates the table and its index; compacts the file when `integrity` is
  // set (it always is).
  void createTable(bool integrity) override;

  // Sets `key` to `value`, stamped with the current time of the injectable
  // clock (whole seconds since 1970).
  void insertItem(std::string_view key, std::string_view value);
  // The stored value, or "" when there is none.
  std::string getItem(std::string_view key);
  void deleteItem(std::string_view key);
  // Removes every key that starts with the user id in decimal and a dot
  // (user 12 removes "12.a", never "123.a" or "12a").
  void deleteLikeKey(std::int64_t userID);
  void clearAll();
  // Removes the entries not written for seven days.
  void clearTime();
};

}  // namespace nb
