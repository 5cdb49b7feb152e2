// Adding a local folder tree: the upload records queued for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "api/models/TransportItem.h"
#include "api/session/TransActionCounter.h"
#include "stores/transfer/TransPortDB.h"
#include "support/SyncWorld.h"
#include "transfer/jobs/AddScan.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using transfer::AddScan;

// No coordinator pass runs, so the library has no sync manager and every
// record is a plain upload record.
class AddScanTest : public SyncWorld {
 protected:
  fs::path top() const { return home() / "Add" / "top"; }
  void file(const std::string& relative, const std::string& bytes = "x") {
    fs::create_directories((top() / relative).parent_path());
    std::ofstream(top() / relative) << bytes;
  }
  void link(const std::string& relative, const fs::path& target) {
    fs::create_directories((top() / relative).parent_path());
    fs::create_directory_symlink(target, top() / relative);
  }
  static TransPortDB& store() { return TransPortDB::shareTransPortDB(); }
  // Queued uploads by path in the library.
  static std::map<std::string, TransportItem> uploads() {
    std::map<std::string, TransportItem> byPath;
    for (auto& item : store().Get_AllUpload(0, 100000)) byPath[item.strWebpath] = item;
    return byPath;
  }
  void run() {
    store().addTaskDir(kMountId, "cloud/top", top().string());
    AddScan(kMountId, "cloud/top", top().string()).main();
  }
  bool taskFinished() {
    for (const auto& task : store().nodeArray().value_or(std::vector<TaskDir_Stx>{})) {
      if (task.strWebpath == "cloud/top") return task.bFinish;
    }
    return false;
  }
};

TEST_F(AddScanTest, HiddenAndIgnoredNamesAreSkippedAndLinkLoopsEnd) {
  file("a.txt", "hello");
  file(".hidden.txt");
  file(".hiddendir/x.txt");
  file("~lock.docx");
  file("sub/b.txt");
  link("sub/up", "..");         // back to top: already on the walk
  link("sub/self", ".");        // itself
  link("sidelink", top() / "sub");  // a folder not on the walk: followed

  bool pausedAtReget = false;
  network().setOnCall([&pausedAtReget](const FakeNetwork::Call& call) {
    if (call.name == "SendCallbackAction") pausedAtReget = TransActionCounter::shared().busy();
  });

  run();
  network().setOnCall(nullptr);

  std::vector<std::string> paths;
  for (const auto& [path, item] : uploads()) paths.push_back(path);
  EXPECT_EQ(paths, (std::vector<std::string>{"cloud/top/a.txt", "cloud/top/sidelink",
                                             "cloud/top/sidelink/b.txt", "cloud/top/sub",
                                             "cloud/top/sub/b.txt"}));
  const auto queued = uploads();
  const TransportItem& a = queued.at("cloud/top/a.txt");
  EXPECT_EQ(a.strFullpath, (top() / "a.txt").string());
  EXPECT_EQ(a.ullFilesize, 5u);
  EXPECT_FALSE(a.bDir);
  EXPECT_EQ(a.nStatus, kTransWaiting);
  EXPECT_GT(a.ullLast, 0u);
  EXPECT_TRUE(queued.at("cloud/top/sub").bDir);
  EXPECT_EQ(queued.at("cloud/top/sub").ullFilesize, 0u);
  // A folder's record comes before its contents.
  EXPECT_LT(queued.at("cloud/top/sub").nIndex, queued.at("cloud/top/sub/b.txt").nIndex);
  // Every record hangs off the top cloud folder.
  const auto parents = store().Get_DeleteParentUpload();
  ASSERT_EQ(parents.size(), 1u);
  EXPECT_EQ(parents[0].strWebpath, "cloud/top");

  EXPECT_TRUE(taskFinished());
  EXPECT_TRUE(pausedAtReget);
  EXPECT_EQ(TransActionCounter::shared().count(), 0);
  const auto calls = network().calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(),
                       FakeNetwork::Call{"SendCallbackAction", "upload|reget"}),
            1);
}

TEST_F(AddScanTest, AnEmptyFolderQueuesNothingAndItsTaskIsStillFinished) {
  fs::create_directories(top());
  run();
  EXPECT_TRUE(uploads().empty());
  EXPECT_TRUE(taskFinished());
  EXPECT_EQ(TransActionCounter::shared().count(), 0);
}

}  // namespace
}  // namespace nb::test
