// Saving library and chat-dialog items into a local folder: the download
// records queued from the fake service's listings.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "api/models/TransportItem.h"
#include "api/session/TransActionCounter.h"
#include "stores/transfer/TransPortDB.h"
#include "support/FakeDrive.h"
#include "support/SyncWorld.h"
#include "transfer/jobs/FileSaveAs.h"
#include "transfer/jobs/FileSaveAsByDialog.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;
using transfer::FileSaveAs;
using transfer::FileSaveAsByDialog;
using transfer::SaveItem;

class FileSaveAsTest : public SyncWorld {
 protected:
  fs::path target() const { return home() / "Saved"; }

  SaveItem item(const std::string& webpath, bool dir) const {
    SaveItem item;
    item._mountid = kMountId;
    item._webpath = webpath;
    item._dir = dir;
    item._fullpath = (target() / fs::path(webpath).filename()).string();
    return item;
  }

  // Every queued download, oldest first.
  static std::vector<TransportItem> downloads() {
    return TransPortDB::shareTransPortDB().Get_AllDownload(0, 100000);
  }
  static std::vector<std::string> webpaths() {
    std::vector<std::string> paths;
    for (const TransportItem& item : downloads()) paths.push_back(item.strWebpath);
    return paths;
  }
  size_t notices() {
    const auto calls = app().calls();
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [](const auto& call) {
      return call.name == "setGrowlNotificationDescripation";
    }));
  }
  // The bulk-add counter went back to 0 and the download pages were told
  // to reload once.
  void expectBatchClosed() {
    EXPECT_EQ(TransActionCounter::shared().count(), 0);
    EXPECT_EQ(network().count("SendCallbackAction"), 1u);
    EXPECT_EQ(network().calls().back(), (FakeNetwork::Call{"SendCallbackAction", "download|reget"}));
  }
};

TEST_F(FileSaveAsTest, AFolderTreeIsQueuedEachFolderBeforeItsContentsAndTheNamedFolderLast) {
  putServerFile("t/g.txt", "g");
  putServerFile("t/sub/f.txt", "f");

  FileSaveAs({item("t", true)}).main();

  EXPECT_EQ(webpaths(), (std::vector<std::string>{"t/g.txt", "t/sub", "t/sub/f.txt", "t"}));
  const auto queued = downloads();
  EXPECT_EQ(queued[2].strFullpath, (target() / "t/sub/f.txt").string());
  EXPECT_EQ(queued[2].strFilehash, FakeDrive::contentHash("f"));
  EXPECT_EQ(queued[2].nStat, 1);
  EXPECT_TRUE(queued[1].bDir);
  EXPECT_TRUE(queued[3].bDir);
  EXPECT_EQ(queued[3].nStat, 0);
  for (const auto& record : queued) EXPECT_EQ(record.nStatus, kTransWaiting);
  expectBatchClosed();
}

TEST_F(FileSaveAsTest, AFolderLargerThanOneListingPageIsQueuedWhole) {
  for (int i = 0; i < 7000; ++i) putServerFile("big/f" + std::to_string(i), "x");

  FileSaveAs({item("big", true)}).main();

  EXPECT_EQ(downloads().size(), 7001u);
  const auto listings = api_.callsTo("/1/file/ls");
  ASSERT_EQ(listings.size(), 2u);
  EXPECT_EQ(listings[0].param("start"), "0");
  EXPECT_EQ(listings[1].param("start"), "5000");
  expectBatchClosed();
}

TEST_F(FileSaveAsTest, AServerThatIgnoresTheListingStartDoesNotKeepTheWalkGoing) {
  api_.on("POST", "/1/file/ls", [](const FakeCall&) {
    nlohmann::json list = nlohmann::json::array();
    for (int i = 0; i < 5000; ++i) {
      list.push_back({{"fullpath", "same/f" + std::to_string(i)}, {"dir", 0}, {"filesize", 1}});
    }
    return FakeReply::json({{"list", list}});
  });

  FileSaveAs({item("same", true)}).main();

  EXPECT_EQ(downloads().size(), 5001u);
  EXPECT_EQ(callCount("/1/file/ls"), 2u);
  expectBatchClosed();
}

TEST_F(FileSaveAsTest, UnusableServerNamesAndUnreadableEntriesAreSkipped) {
  const auto dispatchPaused = std::make_shared<std::atomic<bool>>(false);
  api_.on("POST", "/1/file/ls", [dispatchPaused](const FakeCall& call) {
    *dispatchPaused = TransActionCounter::shared().busy();
    if (call.param("fullpath") != "evil") return FakeReply::json({{"list", nlohmann::json::array()}});
    nlohmann::json list = nlohmann::json::array();
    for (const char* path : {"evil/..", "evil/.", "evil/", "evil", "elsewhere/x.txt",
                             "evil/ok.txt", "evil/../../outside.txt"}) {
      list.push_back({{"fullpath", path}, {"dir", 0}, {"filesize", 1},
                      {"filehash", FakeDrive::contentHash("o")}});
    }
    list.push_back({{"fullpath", "evil/.."}, {"dir", 1}});
    // Readable by name, but its own rights refuse reading.
    list.push_back({{"fullpath", "evil/secret.txt"}, {"dir", 0},
                    {"property", R"({"permisson":["file_write"]})"}});
    return FakeReply::json({{"list", list}});
  });

  FileSaveAs({item("evil", true)}).main();

  EXPECT_TRUE(*dispatchPaused);
  EXPECT_EQ(webpaths(), (std::vector<std::string>{"evil/ok.txt", "evil"}));
  for (const auto& record : downloads()) {
    const std::string path = record.strFullpath;
    EXPECT_EQ(path.rfind((target() / "evil").string(), 0), 0u) << path;
    EXPECT_EQ(path.find(".."), std::string::npos) << path;
  }
}

TEST_F(FileSaveAsTest, AFileWhoseOpenCallFailsIsLeftOutAndOneNoticeGoesPerItem) {
  app().setPromptMessage(true);
  putServerFile("docs/a.txt", "aaa");
  putServerFile("docs/b.txt", "bb");
  putServerFile("docs/sub/c.txt", "c");
  api_.fail("/2/file/open", FakeFault::errorCode(40402, 404).times(1));

  FileSaveAs({item("docs/b.txt", false), item("docs/a.txt", false), item("docs/sub", true)}).main();

  EXPECT_EQ(webpaths(), (std::vector<std::string>{"docs/a.txt", "docs/sub/c.txt", "docs/sub"}));
  EXPECT_EQ(downloads()[0].ullFilesize, 3u);
  EXPECT_EQ(downloads()[0].strFilehash, FakeDrive::contentHash("aaa"));
  EXPECT_EQ(downloads()[0].nStat, 0);
  EXPECT_EQ(notices(), 3u);
  expectBatchClosed();
}

TEST_F(FileSaveAsTest, WithNoticesOffNothingIsShown) {
  putServerFile("docs/a.txt", "aaa");
  FileSaveAs({item("docs/a.txt", false)}).main();
  EXPECT_EQ(downloads().size(), 1u);
  EXPECT_EQ(notices(), 0u);
}

TEST_F(FileSaveAsTest, ADialogFolderWhoseListingFailsShowsTheServersMessage) {
  api_.fail("/1/file/ls", FakeFault::errorCode(40402, 404, "no such folder"));
  SaveItem file = item("chat/a.txt", false);
  file.strFileHash = FakeDrive::contentHash("aaa");
  file.ullFileSize = 3;

  FileSaveAsByDialog({item("chat/gone", true), file}, "m1", "d1").main();

  EXPECT_EQ(lastCall("/1/file/ls").param("message_id"), "m1");
  EXPECT_EQ(lastCall("/1/file/ls").param("dialog_id"), "d1");
  EXPECT_EQ(callCount("/2/file/open"), 0u);
  const auto calls = app().calls();
  EXPECT_NE(std::find(calls.begin(), calls.end(),
                      FakeAppState::Call{"setGrowlNotificationDescripation", "no such folder"}),
            calls.end());
  const auto queued = downloads();
  ASSERT_EQ(queued.size(), 2u);
  EXPECT_TRUE(queued[0].bDir);
  EXPECT_EQ(queued[1].strFilehash, FakeDrive::contentHash("aaa"));
  EXPECT_EQ(queued[1].ullFilesize, 3u);
  EXPECT_EQ(queued[1].nStat, 1);
  expectBatchClosed();
}

}  // namespace
}  // namespace nb::test
