#pragma once
// The fake service's accounts and libraries: users, enterprises, libraries
// with their server-side trees, the content the service holds by hash,
// uploads waiting for their content, and the account data the account calls
// answer (templates, settings, hot files, favourites, shortcuts).
//
//   FakeService api;
//   FakeDrive drive(api);            // installs the file and account endpoints
//   auto& storage = drive.addStorageServer();
//   const std::string token = drive.signIn(drive.addUser({.memberId = 5}));
//   auto& tree = drive.addLibrary({.mountId = 7});
//   drive.putFile(7, "docs/a.txt", "hello");   // as if another client uploaded it
//
// A token the drive did not hand out (one from a refresh) belongs to the
// first user. Thread-safe; the endpoints run on the service's threads.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "support/FakeLibraryTree.h"
#include "support/FakeService.h"

namespace nb::test {

class FakeStorageServer;

struct FakeUser {
  int memberId = 1;
  std::string name = "tester";
  std::string email = "tester@example.invalid";
  std::string phone;
  std::string avatar;
  std::string account = "tester";
  std::string source;
  int disableNewDevice = 0;
  nlohmann::json favorites = nlohmann::json::array();  // [{id,type,name,color}]
  FakeMember member() const { return FakeMember{memberId, name}; }
};

struct FakeEnterprise {
  int entId = 1;
  std::string name = "Enterprise";
};

struct FakeLibrary {
  int64_t mountId = 1;
  int64_t orgId = 1;
  std::string orgName = "Library";
  int memberType = 1;
  int orgType = 0;
  int64_t sizeUse = 0;
  int64_t sizeTotal = int64_t{1} << 40;
  int entId = 0;
  std::string property = "{}";
  uint64_t addDateline = 1700000000;
};

// A create-file whose content the service does not hold yet; the storage
// server finishes it. `hash` is the entry's identifier (the upload's path
// hash).
struct FakePendingUpload {
  std::string hash;
  int64_t mountId = 0;
  std::string fullpath;
  std::string filehash;
  uint64_t filesize = 0;
  uint64_t createDateline = 0;
  uint64_t lastDateline = 0;
  FakeMember by;
};

class FakeDrive {
 public:
  // Error codes of the drive's own refusals (the tree's are
  // FakeLibraryTree::errorCode).
  static constexpr int kNoLibrary = 40404;
  static constexpr int kBadParameter = 40005;

  // Registers the file and account endpoints on `api`. The drive must
  // outlive every request to them.
  explicit FakeDrive(FakeService& api, FakeLibraryTree::Clock clock = {});
  ~FakeDrive();
  FakeDrive(const FakeDrive&) = delete;
  FakeDrive& operator=(const FakeDrive&) = delete;

  FakeService& api() { return api_; }

  // --- Accounts -----------------------------------------------------------
  const FakeUser& addUser(FakeUser user);
  // A fresh live access token of the user.
  std::string signIn(const FakeUser& user);
  // The user of a token; the first user for tokens the drive did not issue
  // (refreshed ones). Nothing when there is no user at all.
  std::optional<FakeUser> userFor(const std::string& token) const;
  void addEnterprise(FakeEnterprise enterprise);
  std::vector<FakeEnterprise> enterprises() const;
  // Adds the library (to every user) with an empty tree.
  FakeLibraryTree& addLibrary(FakeLibrary library);
  std::vector<FakeLibrary> libraries() const;
  // The library's property as the library list answers it from now on
  // (its "permissions" list: the member's rights on the whole library).
  void setLibraryProperty(int64_t mountId, std::string property);
  // Nothing for an unknown id.
  FakeLibraryTree* tree(int64_t mountId);

  // --- Content ------------------------------------------------------------
  // Keeps `bytes` under their SHA-1 (40 lower-case hex), which it returns.
  std::string putContent(const std::string& bytes);
  // The content hash the fake names `bytes` by: SHA-1, 40 lower-case hex.
  static std::string contentHash(const std::string& bytes);
  std::optional<std::string> content(const std::string& filehash) const;
  bool hasContent(const std::string& filehash) const;
  // Puts a file into a library as another client would: content and entry
  // (parent folders made as needed). Returns the entry.
  FakeEntry putFile(int64_t mountId, const std::string& path, const std::string& bytes,
                    const FakeMember& by = FakeMember{99, "someone else"});

  // --- Uploads --------------------------------------------------------------
  FakeStorageServer& addStorageServer(bool https = false);
  std::vector<FakeStorageServer*> storageServers() const;
  // Download addresses of a content hash as get_url_by_filehash and open
  // answer them; unset: each storage server's own address.
  using DownloadUrlSource = std::function<std::vector<std::string>(const std::string& filehash)>;
  void setDownloadUrlSource(DownloadUrlSource source);
  std::vector<std::string> downloadUrls(const std::string& filehash) const;
  void addPending(FakePendingUpload upload);
  std::optional<FakePendingUpload> pending(const std::string& hash) const;
  // Stores the content and puts the pending entry into its tree; false when
  // no such upload waits or the tree refuses it.
  bool finishPending(const std::string& hash, const std::string& bytes);

  // --- Account data the account calls answer ------------------------------
  void setTemplates(int entId, nlohmann::json templates);  // array of template objects
  nlohmann::json templates(const std::string& entIds) const;  // "1,2" -> {"1":[..],"2":[..]}
  void setSettings(nlohmann::json list);
  void setHotFiles(nlohmann::json list);
  void setFavoriteFiles(nlohmann::json list);
  void setShortcuts(std::string rawJson);
  nlohmann::json settings() const;
  nlohmann::json hotFiles() const;
  nlohmann::json favoriteFiles() const;
  std::string shortcuts() const;
  // What set_device and set_favorite_name received, oldest first.
  std::vector<std::string> devices() const;
  std::vector<std::pair<std::string, std::string>> favoriteNames() const;  // type, name
  void recordDevice(std::string device);
  void recordFavoriteName(std::string type, std::string name);

 private:
  FakeService& api_;
  const FakeLibraryTree::Clock clock_;

  mutable std::mutex lock_;
  std::vector<FakeUser> users_;                           // GUARDED_BY(lock_)
  std::map<std::string, int> tokenUsers_;                 // GUARDED_BY(lock_)
  std::vector<FakeEnterprise> enterprises_;               // GUARDED_BY(lock_)
  std::vector<FakeLibrary> libraries_;                    // GUARDED_BY(lock_)
  std::map<int64_t, std::unique_ptr<FakeLibraryTree>> trees_;  // GUARDED_BY(lock_); never erased
  std::map<std::string, std::string> contents_;           // GUARDED_BY(lock_)
  std::map<std::string, FakePendingUpload> pending_;      // GUARDED_BY(lock_)
  std::vector<std::unique_ptr<FakeStorageServer>> storage_;  // GUARDED_BY(lock_); never erased
  DownloadUrlSource downloadUrlSource_;                   // GUARDED_BY(lock_)
  std::map<int, nlohmann::json> templates_;               // GUARDED_BY(lock_)
  nlohmann::json settings_ = nlohmann::json::array();     // GUARDED_BY(lock_)
  nlohmann::json hotFiles_ = nlohmann::json::array();     // GUARDED_BY(lock_)
  nlohmann::json favoriteFiles_ = nlohmann::json::array();  // GUARDED_BY(lock_)
  std::string shortcuts_ = "{}";                          // GUARDED_BY(lock_)
  std::vector<std::string> devices_;                      // GUARDED_BY(lock_)
  std::vector<std::pair<std::string, std::string>> favoriteNames_;  // GUARDED_BY(lock_)
};

// Endpoint installers, called by FakeDrive's constructor.
void installFakeFileEndpoints(FakeDrive& drive);
void installFakeAccountEndpoints(FakeDrive& drive);

}  // namespace nb::test
