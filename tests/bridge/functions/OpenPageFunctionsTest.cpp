// Opening library files for the user, against the sync test world: the
// desktop and the note editor are replaced by recorders.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/session/UserData.h"
#include "bridge/functions/PageWorld.h"
#include "bridge/open/OpenActions.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncManager.h"
#include "support/PumpMainThread.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

struct Opened {
  std::string path;
  std::string type;
  std::string specify;
  bool note = false;
  bool operator==(const Opened&) const = default;
};

class OpenPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    bridge::setOpenActions(
        {[this](const std::string& path, const std::string& type, const std::string& specify) {
           opened.push_back({path, type, specify, false});
         },
         [this](const std::string& path, std::int64_t, const std::string&, std::int64_t) {
           opened.push_back({path, "", "", true});
         }});
    putServerFile("docs/a.txt", "hello");
    putServerFile("other/b.txt", "server bytes");
    putServerFile("other/empty.txt", "");
  }
  void TearDown() override {
    bridge::setOpenActions({});
    PageWorld::TearDown();
  }

  void start(bool linkDocs = true) {
    if (linkDocs) linkFolder("docs", "Docs");
    runCoordinatorPass();
    runComparePass();
  }
  JsonValue open(const std::string& webpath, const std::string& extra = "") {
    const JsonValue got = answer("gOpen", R"({"mount_id":)" + std::to_string(kMountId) +
                                              R"(,"webpath":")" + webpath + "\"" + extra + "}");
    pumpMainThread();
    return got;
  }
  // Where a copy of `webpath` goes in `folder`.
  std::string copyPath(const std::string& folder, const std::string& webpath) {
    return folder + "/" + sha1HexDigest(std::to_string(kMountId) + "_" + webpath) + "/" +
           getFilename(webpath);
  }
  std::string openFolder() { return UserData::shareUserData().openPath(); }
  std::string tempFolder() { return UserData::shareUserData().tempPath(); }
  static void write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool plain(const JsonValue& got) { return got["showdlg"].asInt64() == 0 && got["error"].asInt64() == 0; }

  std::vector<Opened> opened;
};

TEST_F(OpenPagesTest, ASyncedFileOpensItsLinkedCopyAndLocksNothing) {
  start();
  writeLocal("Docs/a.txt", "hello");
  const JsonValue got = open("docs/a.txt", R"(,"lock":1)");
  EXPECT_EQ(got, JsonValue::object({{"message", ""},
                                    {"error", 0},
                                    {"showdlg", 0},
                                    {"mount_id", 0},
                                    {"webpath", ""},
                                    {"fullpath", ""},
                                    {"hid", ""}}));
  EXPECT_EQ(opened, (std::vector<Opened>{{local("Docs/a.txt").string(), "", "", false}}));
  EXPECT_EQ(callCount("/1/file/lock"), 0u);
}

TEST_F(OpenPagesTest, AMissingLinkedCopyComesFromTheCacheIntoTheLinkedPath) {
  start();
  removeLocal("Docs/a.txt");
  cacheBytes("hello");
  app().setLinkNetwork(false);
  EXPECT_TRUE(plain(open("docs/a.txt")));
  EXPECT_EQ(readLocal("Docs/a.txt"), "hello");
  EXPECT_EQ(opened, (std::vector<Opened>{{local("Docs/a.txt").string(), "", "", false}}));
  EXPECT_EQ(manager()->syncdb().get_single_file("docs/a.txt").nStatus,
            SyncStatus::kDownloadPending)
      << "the sync engine learns the copy is on its way";
  EXPECT_FALSE(Util::existfile(copyPath(openFolder(), "docs/a.txt")));
}

TEST_F(OpenPagesTest, AServerOnlyFileIsDownloadedToOpenAndRecordedAsOpened) {
  start(false);
  network().clear();
  const JsonValue got = open("other/b.txt", R"(,"lock":1)");
  const std::string target = copyPath(openFolder(), "other/b.txt");
  EXPECT_EQ(got["showdlg"].asInt64(), 1);
  EXPECT_EQ(got["fullpath"].asString(), target);
  EXPECT_EQ(got["mount_id"].asInt64(), kMountId);
  EXPECT_EQ(got["readonly"].asInt64(), 0);
  const TransportItem record = TransPortDB::shareTransPortDB().Get_Download(kMountId, "other/b.txt");
  EXPECT_EQ(record.nExpand, 1);
  EXPECT_EQ(record.strFullpath, target);
  EXPECT_EQ(record.strFilehash, sha1HexDigest("server bytes"));
  EXPECT_EQ(record.ullFilesize, 12u);
  EXPECT_EQ(TransPortDB::shareTransPortDB().CheckNeedLock(target).strWebpath, "other/b.txt");
  EXPECT_EQ(callCount("/1/file/lock"), 1u) << "the user asked to lock and may write";
  EXPECT_EQ(network().calls(),
            (std::vector<FakeNetwork::Call>{{"SendCallbackAction", "download|reget"}}));
  EXPECT_TRUE(opened.empty()) << "nothing opens before the download ends";
}

TEST_F(OpenPagesTest, ACopyWithUnsentEditsIsCachedUnderItsOwnHashBeforeItIsReplaced) {
  start(false);
  cacheBytes("server bytes");
  const std::string target = copyPath(openFolder(), "other/b.txt");
  write(target, "my edit");
  EXPECT_TRUE(plain(open("other/b.txt")));
  EXPECT_EQ(read(target), "server bytes");
  EXPECT_FALSE(SyncCache::shareSyncCache().getFullPathByFileHash(sha1HexDigest("my edit")).empty());
  EXPECT_EQ(opened, (std::vector<Opened>{{target, "", "", false}}));
}

TEST_F(OpenPagesTest, ALargeCopyTheCacheRefusesIsMovedAsideNeverDeleted) {
  start(false);
  cacheBytes("server bytes");
  const std::string target = copyPath(openFolder(), "other/b.txt");
  write(target, "");
  fs::resize_file(target, kCacheMaxFileSize);
  EXPECT_TRUE(plain(open("other/b.txt")));
  EXPECT_TRUE(read(target) == "server bytes");
  std::size_t kept = 0;
  for (const auto& entry : fs::directory_iterator(tempFolder())) {
    if (entry.is_regular_file() && entry.file_size() == kCacheMaxFileSize) ++kept;
  }
  EXPECT_EQ(kept, 1u) << "the user's large copy survives in the temporary folder";
}

TEST_F(OpenPagesTest, AFileTheUserMayNotWriteIsAReadOnlyTemporaryCopyAndNeverLocked) {
  start(false);
  manager()->nPermissions = 0;
  cacheBytes("server bytes");
  EXPECT_TRUE(plain(open("other/b.txt", R"(,"lock":1)")));
  const std::string target = copyPath(tempFolder(), "other/b.txt");
  EXPECT_EQ(read(target), "server bytes");
  EXPECT_TRUE(Util::isfilelock(target));
  EXPECT_EQ(callCount("/1/file/lock"), 0u);
  EXPECT_EQ(opened, (std::vector<Opened>{{target, "", "", false}}));
}

TEST_F(OpenPagesTest, AFileLockedByAnotherMemberOpensReadOnlyAndTheDownloadSaysSo) {
  tree().lock("other/b.txt", true, FakeMember{99, "other"});
  start(false);
  const JsonValue got = open("other/b.txt", R"(,"lock":1)");
  EXPECT_EQ(got["showdlg"].asInt64(), 1);
  EXPECT_EQ(got["readonly"].asInt64(), 1);
  EXPECT_EQ(callCount("/1/file/lock"), 0u);
}

TEST_F(OpenPagesTest, AReadOnlyOpenMarksTheCopyAndSaysSoInTheDownloadAnswer) {
  start(false);
  EXPECT_EQ(open("other/b.txt", R"(,"readonly":1,"lock":1)")["readonly"].asInt64(), 1);
  EXPECT_EQ(callCount("/1/file/lock"), 0u);
  cacheBytes("server bytes");
  EXPECT_TRUE(plain(open("other/b.txt", R"(,"readonly":1)")));
  const std::string target = copyPath(openFolder(), "other/b.txt");
  EXPECT_TRUE(Util::isfilelock(target));
  EXPECT_EQ(opened, (std::vector<Opened>{{target, "", "", false}}));
}

TEST_F(OpenPagesTest, AnEditedCopyStillUploadingIsOpenedAgainAsItIs) {
  start(false);
  const std::string edited = copyPath(openFolder(), "other/b.txt");
  write(edited, "editing");
  TransportItem upload;
  upload.nMountid = kMountId;
  upload.strWebpath = "other/b.txt";
  upload.strFullpath = edited;
  upload.nExpand = 1;
  upload.nStatus = 2;
  ASSERT_TRUE(TransPortDB::shareTransPortDB().Add_Upload(upload, "other"));
  EXPECT_TRUE(plain(open("other/b.txt")));
  EXPECT_EQ(read(edited), "editing");
  EXPECT_EQ(opened, (std::vector<Opened>{{edited, "", "", false}}));
}

TEST_F(OpenPagesTest, AHistoryVersionNeverUsesTheLinkedPathNorLocks) {
  start();
  cacheBytes("hello");
  const JsonValue got = open("docs/a.txt", R"(,"hid":"v1","lock":1)");
  EXPECT_TRUE(plain(got));
  EXPECT_EQ(got["hid"].asString(), "v1");
  const std::string target = copyPath(tempFolder(), "docs/a.txt");
  EXPECT_EQ(read(target), "hello");
  EXPECT_TRUE(Util::isfilelock(target)) << "a history version is never edited";
  EXPECT_EQ(callCount("/1/file/lock"), 0u);
  EXPECT_EQ(opened, (std::vector<Opened>{{target, "", "", false}}));
}

TEST_F(OpenPagesTest, TheNoteEditorAndTheApplicationThePageNamed) {
  start(false);
  cacheBytes("server bytes");
  open("other/b.txt", R"(,"opentype":"unopen")");
  open("other/b.txt", R"(,"openpath":"/usr/bin/evil")");
  open("other/b.txt", R"(,"openpath":"openwith")");
  const std::string target = copyPath(openFolder(), "other/b.txt");
  EXPECT_EQ(opened, (std::vector<Opened>{{target, "", "", true},
                                         {target, "", "", false},
                                         {target, "", "openwith", false}}))
      << "a program the desktop does not offer for the type is never started";
}

TEST_F(OpenPagesTest, RefusedAndLocalOpens) {
  start(false);
  EXPECT_TRUE(plain(answer("gOpen", R"({"mount_id":0,"webpath":"/no/such/file"})")));
  const fs::path mine = home() / "mine.txt";
  write(mine.string(), "x");
  EXPECT_TRUE(plain(answer("gOpen", R"({"mount_id":0,"webpath":")" + mine.string() +
                                        R"(","readonly":1})")));
  EXPECT_TRUE(Util::isfilelock(mine.string()));
  EXPECT_EQ(answer("gOpen", "[1]")["error"].asInt64(), 10007);
  EXPECT_TRUE(plain(open("other/b.txt", R"(,"filehash":"../../etc")")));
  EXPECT_TRUE(plain(open("other/..")));
  EXPECT_TRUE(plain(open("nope.txt")));
  pumpMainThread();
  EXPECT_EQ(opened, (std::vector<Opened>{{mine.string(), "", "", false}}));
  EXPECT_EQ(TransPortDB::shareTransPortDB().GetDownloadCountAll(), 0);
}

TEST_F(OpenPagesTest, TheOpenWithMenuEndsWithTheChooser) {
  EXPECT_EQ(answer("gGetOpenWithMenu", "[]"), JsonValue::object({}));
  const JsonValue menu = answer("gGetOpenWithMenu", R"({"ext":".txt"})");
  ASSERT_GE(menu["list"].size(), 1u);
  EXPECT_EQ(menu["list"][menu["list"].size() - 1]["openpath"].asString(), "openwith");
}

TEST_F(OpenPagesTest, AnOfflineOpenWithoutARowLeavesTheCopyAlone) {
  start(false);
  app().setLinkNetwork(false);
  const std::string target = copyPath(tempFolder(), "other/b.txt");
  write(target, "kept");
  EXPECT_TRUE(plain(open("other/b.txt", R"(,"hid":"v1")")));
  EXPECT_EQ(read(target), "kept");
  EXPECT_TRUE(opened.empty());
}

TEST_F(OpenPagesTest, AnEmptyFileOpensAsANewEmptyCopy) {
  start(false);
  EXPECT_TRUE(plain(open("other/empty.txt")));
  const std::string target = copyPath(openFolder(), "other/empty.txt");
  EXPECT_TRUE(Util::isfile(target));
  EXPECT_EQ(TransPortDB::shareTransPortDB().CheckOpenHistory(target).strWebpath, "other/empty.txt");
  EXPECT_EQ(opened, (std::vector<Opened>{{target, "", "", false}}));
}

}  // namespace
}  // namespace nb::test
