#pragma once
// Small named texts kept across runs (installed package versions and
// digests), in one JSON object file written whole and atomically.
//
// Thread-safe. Values set are visible at once to every caller of the same
// object; they reach the disk on synchronize(). A file that cannot be read
// or is not a JSON object counts as empty; members that are not texts are
// ignored.

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace nb {

class UserDefaults {
 public:
  // The user's defaults: "userdefaults.json" in the configuration folder.
  static UserDefaults& standardUserDefaults();

  // Defaults kept in `path`, read at first use.
  explicit UserDefaults(std::string path);
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  // The text stored under `key`; nothing when there is none.
  std::optional<std::string> stringForKey(const std::string& key);
  void setObject(const std::string& value, const std::string& key);
  void removeObjectForKey(const std::string& key);

  // Writes every value to the file (mode 0600; its folder is made when
  // missing). False, with the old file intact, when writing fails.
  bool synchronize();

 private:
  void loadLocked();  // requires mutex_

  const std::string path_;
  std::mutex mutex_;
  bool loaded_ = false;                        // guarded by mutex_
  std::map<std::string, std::string> values_;  // guarded by mutex_
};

}  // namespace nb
