// Pickers, drops, drag-out preparation and the drag-out end, against the
// sync test world with scripted choosers and alerts.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/session/UserData.h"
#include "bridge/functions/PageWorld.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "shell/drag/OperationManager.h"
#include "shell/windows/LaunchpadWindowController.h"
#include "stores/cache/SyncCache.h"
#include "stores/transfer/TransPortDB.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class PickerPagesTest : public PageWorld {
 protected:
  void TearDown() override {
    OperationManager::setPasteFiles({});
    PageWorld::TearDown();
  }
  // Runs a picker on `target` and answers what its callback got.
  std::string picked(const std::string& name, const std::string& json,
                     WebWindowController* target = nullptr) {
    bridge::PageCall call;
    call.name = name;
    call.args = {json};
    call.callbackId = "cb" + std::to_string(++calls_);
    call.bridge = bridge;
    const auto now = bridge::pageHandler(name)(call, target ? *target : *controller);
    if (now) return *now;
    pumpMainThread();
    pumpMainThread();
    for (auto it = window->functionCalls().rbegin(); it != window->functionCalls().rend(); ++it) {
      const auto arg = dictionaryFromString(it->argument);
      if (arg && (*arg)["id"].asString() == *call.callbackId) return std::string((*arg)["answer"].asString());
    }
    return "<no answer>";
  }
  std::shared_ptr<LaunchpadWindowController> launchpad() {
    if (!main_) main_ = LaunchpadWindowController::create(*ui, "/opt/nb/UI");
    return main_;
  }
  drag_item item(const std::string& webpath, bool cached, const std::string& fullpath = "") {
    drag_item d;
    d.mountid = kMountId;
    d.webpath = webpath;
    d.cached = cached;
    d.fullpath = fullpath.empty() ? (home() / getFilename(webpath)).string() : fullpath;
    return d;
  }

  std::shared_ptr<LaunchpadWindowController> main_;
  int calls_ = 0;
};

TEST_F(PickerPagesTest, FolderChoosersAndTheUsersFolders) {
  const std::string folder = (home() / "Picked").string();
  ui->dialogs().answerNextFolder(folder);
  EXPECT_EQ(picked("gSelectPathDlg", R"({"path":"/tmp"})"), R"({"path":")" + folder + R"(/"})");
  EXPECT_EQ(ui->dialogs().foldersAsked().back().startFolder, "/tmp");
  ui->dialogs().answerNextFolder(folder);
  EXPECT_EQ(picked("gGetComputerPath", R"({"type":"other"})"), R"({"path":")" + folder + R"("})");
  EXPECT_EQ(picked("gSelectPathDlg", "nonsense"), "{}") << "cancelled";
  EXPECT_EQ(ui->dialogs().foldersAsked().back().startFolder, "");
  EXPECT_EQ(picked("gGetComputerPath", R"({"type":"other"})"), "{}");
  EXPECT_EQ(picked("gGetComputerPath", R"({"type":"downloads"})"), R"({"path":""})");
  EXPECT_EQ(picked("gGetComputerPath", "[]"), "{}");
  EXPECT_FALSE(dictionaryFromString(picked("gGetComputerPath", R"({"type":"desktop"})"))
                   .value()["path"].asString().empty());
}

TEST_F(PickerPagesTest, AddingAskedFirstUnlessItIsOnePlainFile) {
  const std::string file = (home() / "one.txt").string();
  const std::string folder = (home() / "Dir").string();
  std::ofstream(file) << "1";
  fs::create_directories(folder);
  const std::string list1 = R"({"list":[{"path":")" + file + R"("}]})";
  ui->dialogs().answerNextFiles(std::vector<std::string>{file});
  EXPECT_EQ(picked("gAddFileDlg", ""), list1);
  EXPECT_TRUE(ui->dialogs().shown().empty()) << "one plain file needs no question";

  ui->dialogs().answerNextFiles(std::vector<std::string>{folder});
  ui->dialogs().answerNext(0);
  EXPECT_EQ(picked("gAddFileDlg", ""), R"({"list":[{"path":")" + folder + R"("}]})");
  ASSERT_EQ(ui->dialogs().shown().size(), 1u);
  EXPECT_NE(ui->dialogs().shown()[0].alert.informative.find("Dir"), std::string::npos);

  ui->dialogs().answerNextFiles(std::vector<std::string>{file, folder, file});
  ui->dialogs().answerNext(1);
  EXPECT_EQ(picked("gAddFileDlg", ""), "{}") << "declined";
  EXPECT_NE(ui->dialogs().shown().back().alert.informative.find('3'), std::string::npos);

  EXPECT_EQ(picked("gAddFileDlg", ""), "{}") << "cancelled";
}

TEST_F(PickerPagesTest, DroppedFilesOnlyForASignedInWebWindow) {
  window->dropFiles({"/a", "/b", "/c"}, 1, 2);
  const JsonValue drop = dictionaryFromString(picked("gGetDragFiles", "")).value();
  EXPECT_EQ(drop["list"].size(), 3u);
  EXPECT_EQ(picked("gGetDragFiles", ""), "{}") << "read once";
  window->dropFiles({"/a"}, 1, 2);
  app().setLoginFinish(false);
  EXPECT_EQ(picked("gGetDragFiles", ""), "{}");
}

TEST_F(PickerPagesTest, DragStartPreparesItemsAndPutsCachedCopiesInPlace) {
  const std::string hash = cacheBytes("cached bytes");
  const std::string list = R"({"list":[{"mount_id":7,"webpath":"docs/a.txt","filehash":")" + hash +
                           R"("},{"mount_id":7,"webpath":"docs/b.txt","filehash":"../../x"},)" +
                           R"({"mount_id":7,"webpath":"docs/.."}]})";
  picked("gSetDragStart", list, controller.get());
  EXPECT_TRUE(controller->dragitems().empty()) << "only the main window drags out";

  auto main = launchpad();
  picked("gSetDragStart", list, main.get());
  const auto& items = main->dragitems();
  ASSERT_EQ(items.size(), 2u) << "a bad last name is skipped";
  const std::string folder = UserData::shareUserData().openPath() + "/" +
                             sha1HexDigest(std::to_string(kMountId) + "_docs/a.txt");
  EXPECT_TRUE(items[0].cached);
  EXPECT_EQ(items[0].fullpath, folder + "/a.txt");
  EXPECT_TRUE(Util::isfile(items[0].fullpath));
  EXPECT_FALSE(items[1].cached);
  EXPECT_FALSE(Util::existfile(items[1].fullpath));
  EXPECT_EQ(static_cast<FakeUiWindow&>(*main->window()).dragOutFiles(),
            std::vector<std::string>{items[0].fullpath})
      << "the drag carries the cached copies as files";

  picked("gSetDragStart", R"({"list":[]})", main.get());
  EXPECT_TRUE(main->dragitems().empty());
  EXPECT_TRUE(static_cast<FakeUiWindow&>(*main->window()).dragOutFiles().empty());
}

TEST_F(PickerPagesTest, ACopyThatCannotBePutInPlaceIsNotTakenForCached) {
  const std::string hash = cacheBytes("cached bytes");
  const std::string blocked = UserData::shareUserData().openPath() + "/" +
                              sha1HexDigest(std::to_string(kMountId) + "_docs/c.txt") + "/c.txt";
  fs::create_directories(blocked);
  auto main = launchpad();
  picked("gSetDragStart",
         R"({"list":[{"mount_id":7,"webpath":"docs/c.txt","filehash":")" + hash + R"("}]})",
         main.get());
  ASSERT_EQ(main->dragitems().size(), 1u);
  EXPECT_FALSE(main->dragitems()[0].cached);
  EXPECT_TRUE(static_cast<FakeUiWindow&>(*main->window()).dragOutFiles().empty());
}

class DragOutTest : public PickerPagesTest {
 protected:
  void SetUp() override {
    PickerPagesTest::SetUp();
    putServerFile("docs/a.txt", "aaa");
    putServerFile("docs/b.txt", "bbbb");
    addServerFolder("docs/sub");
    runCoordinatorPass();
    runComparePass();
    OperationManager::setPasteFiles(
        [this](std::vector<transfer::SaveItem>& items, const std::string& folder) {
          for (auto& i : items) {
            pasted.push_back(i._webpath);
            i._fullpath = folder + "/" + getFilename(i._webpath);
          }
          return !stop;
        });
    network().clear();
  }
  std::int64_t downloads() { return TransPortDB::shareTransPortDB().GetDownloadCountAll(); }
  void drainTasks() { app().taskQueue()->waitUntilAllOperationsAreFinished(); }

  std::vector<std::string> pasted;
  bool stop = false;
};

TEST_F(DragOutTest, AFolderDropSavesTheUncachedItemsUnlessTheUserStops) {
  const std::string folder = (home() / "Drop").string();
  OperationManager::sharedInstance().dragendinfinder(
      {item("docs/a.txt", true), item("docs/b.txt", false), item("docs/unknown.txt", false)},
      folder);
  drainTasks();
  EXPECT_EQ(pasted, std::vector<std::string>{"docs/b.txt"});
  EXPECT_EQ(TransPortDB::shareTransPortDB().Get_Download(kMountId, "docs/b.txt").strFullpath,
            folder + "/b.txt");
  EXPECT_EQ(downloads(), 1);

  stop = true;
  OperationManager::sharedInstance().dragendinfinder({item("docs/a.txt", false)}, folder);
  drainTasks();
  EXPECT_EQ(downloads(), 1) << "Stop queues nothing";
}

TEST_F(DragOutTest, AnOtherAppDropRecordsCachedCopiesAndFetchesTheRest) {
  const std::string copy = (home() / "a.txt").string();
  std::ofstream(copy) << "aaa";
  OperationManager::sharedInstance().dragendinothers({item("docs/a.txt", true, copy)});
  EXPECT_EQ(TransPortDB::shareTransPortDB().CheckOpenHistory(copy).strWebpath, "docs/a.txt");
  EXPECT_EQ(downloads(), 0);
  EXPECT_TRUE(network().calls().empty()) << "no reget without a download";

  app().setPromptMessage(false);
  app().clear();
  OperationManager::sharedInstance().dragendinothers(
      {item("docs/sub", false), item("docs/unknown.txt", false), item("docs/b.txt", false)});
  EXPECT_EQ(app().count("setGrowlNotificationDescripation"), 1u)
      << "the folder notice shows whatever the setting; the download is silent";
  const TransportItem record = TransPortDB::shareTransPortDB().Get_Download(kMountId, "docs/b.txt");
  EXPECT_EQ(record.strFilehash, sha1HexDigest("bbbb"));
  EXPECT_EQ(record.ullFilesize, 4u);
  EXPECT_EQ(downloads(), 1) << "an unknown path is never fetched as an empty file";
  EXPECT_EQ(TransPortDB::shareTransPortDB().CheckNeedLock(record.strFullpath).strWebpath,
            "docs/b.txt");
  EXPECT_EQ(network().calls(),
            (std::vector<FakeNetwork::Call>{{"SendCallbackAction", "download|reget"}}));
}

}  // namespace
}  // namespace nb::test
