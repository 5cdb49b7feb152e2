#pragma once
// The sync test world: the real sync engine over real HTTP on loopback,
// against the fake service, in a temporary HOME.
//
// It stands up what a signed-in session has: the fake service with one
// user and one library (kMountId, an empty server tree), the user's real
// stores (catalogue with the library, transfer store, content cache), a
// ManualClock as the process clock, a recording transfer engine, the
// recording application state (favourites folder set), and a sync centre
// session whose coordinator is driven by hand: nothing runs in the
// background but the compare queue.
//
//   class MyTest : public test::SyncWorld {};
//   TEST_F(MyTest, X) {
//     putServerFile("docs/a.txt", "hello");
//     linkFolder("docs", "Docs");          // before the manager starts
//     runCoordinatorPass();                // managers made and started
//     runComparePass();
//     EXPECT_EQ(localTree("Docs"), serverTree("docs"));
//   }
//
// Trees compare "as a user would": relative path -> folder flag and
// content hash.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "api/models/MountItem.h"
#include "support/FakeDriveFixture.h"
#include "support/FakeNetwork.h"
#include "support/ManualClock.h"

namespace nb {
class SyncCenter;
class SyncManager;
}  // namespace nb

namespace nb::test {

// One item of a compared tree: a folder, or a file with its content hash.
struct TreeItem {
  bool dir = false;
  std::string filehash;  // SHA-1 of the content; "" for folders
  bool operator==(const TreeItem&) const = default;
};
using Tree = std::map<std::string, TreeItem>;

// One sync-store row as a test compares it.
struct RowState {
  int64_t status = 0;
  bool dir = false;
  std::string filehash;
  bool operator==(const RowState&) const = default;
};
using Rows = std::map<std::string, RowState>;

std::ostream& operator<<(std::ostream& out, const TreeItem& item);
std::ostream& operator<<(std::ostream& out, const RowState& row);

// What sign-in leaves for the sync engine, in a HOME of its own (`home`):
// the user and token, the catalogue holding `libraries`, the transfer store,
// the content cache, the favourites folder and home/Sync; then the sync
// centre, its coordinator driven by hand. The client side of SyncWorld, for
// a client whose service runs elsewhere; closeSyncSession ends it.
void openSyncSession(FakeAppState& app, const std::filesystem::path& home, const FakeUser& user,
                     const std::string& token, const std::vector<FakeLibrary>& libraries);
void closeSyncSession();
// Links the web path to `folder` (made when missing) in the library's sync
// store, as linking would have left it; false when the store refuses.
bool linkSyncFolder(const std::string& webpath, const std::filesystem::path& folder, int64_t type,
                    int64_t mountId);

class SyncWorld : public FakeDriveFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The server's changes carry the manual clock's wall time.
  FakeLibraryTree::Clock driveClock() override {
    return [clock = clock_] { return clock->wallSeconds(); };
  }

  SyncCenter& center();
  ManualClock& clock() { return *clock_; }
  FakeNetwork& network() { return **network_; }
  FakeAppState& app() { return *app_; }

  // --- Server side (as another client would edit it) ---------------------------
  void putServerFile(const std::string& path, const std::string& bytes);
  void addServerFolder(const std::string& path);
  void removeServer(const std::string& path);
  void renameServer(const std::string& path, const std::string& newname);
  void moveServer(const std::string& path, const std::string& targetFolder);
  // The server subtree of `folder` ("" the library), paths relative to it.
  Tree serverTree(const std::string& folder = "");

  // --- Local side -----------------------------------------------------------------
  // Local paths are relative to localRoot() unless absolute.
  std::filesystem::path localRoot() const { return home() / "Sync"; }
  std::filesystem::path local(const std::string& relative) const;
  void writeLocal(const std::string& relative, const std::string& bytes);
  void makeLocalFolder(const std::string& relative);
  void removeLocal(const std::string& relative);
  std::string readLocal(const std::string& relative) const;
  // The local subtree of `folder`, paths relative to it.
  Tree localTree(const std::string& folder) const;

  // --- Links and managers ------------------------------------------------------------
  // Links the web path to a local folder (made when missing) in the
  // library's sync store, as linking would have left it, before the
  // library's manager is created. `type` 2 sync, 1 backup.
  void linkFolder(const std::string& webpath, const std::string& localFolder, int64_t type = 2,
                  int64_t mountId = kMountId);
  // The library's record as the catalogue stores it.
  MountItem mountItem(int64_t mountId = kMountId);
  std::shared_ptr<SyncManager> manager(int64_t mountId = kMountId);
  // The library's sync-store rows, paths as stored.
  Rows storeRows(int64_t mountId = kMountId);

  // --- Driving the engine ------------------------------------------------------------
  // One coordinator pass on the test thread, then waits until the compare
  // passes it queued have finished. The first pass makes the managers.
  void runCoordinatorPass();
  // Moves the clock on by `by`, then runs one pass.
  void runCoordinatorPassAfter(std::chrono::seconds by);
  // One comparison pass of the library's manager (none when one is queued
  // or running), waited for.
  void runComparePass(int64_t mountId = kMountId);
  // Waits until the compare queue is empty.
  void waitCompareQueue();
  // Polls `done` in real time (up to 20 s) for work of the engine's own
  // threads, such as the folder watchers; answers whether it came true.
  static bool eventually(const std::function<bool()>& done);
  // The pauses the local scans took since the test began.
  size_t scanPauses() const { return *scanPauses_; }

 private:
  const std::shared_ptr<ManualClock> clock_ = std::make_shared<ManualClock>();
  std::unique_ptr<ScopedClockOverride> clockOverride_;
  std::unique_ptr<ScopedNetwork> network_;
  const std::shared_ptr<std::atomic<size_t>> scanPauses_ = std::make_shared<std::atomic<size_t>>(0);
};

}  // namespace nb::test
