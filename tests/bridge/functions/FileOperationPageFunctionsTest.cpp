// The file browser's operations on library items from a page, against the
// sync test world: answers, effects on the sync store and the server, and
// the guards (keep-both names, repeated renames, copies into themselves).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "api/session/TransActionCounter.h"
#include "bridge/functions/MoveCopyPageFunctions.h"
#include "bridge/functions/PageWorld.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilStatus.h"
#include "platform/AppFolders.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/syncdb/Syncdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "support/FakeCopyWindows.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kOtherMount = 20;

class FileOperationPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    app().setLinkNetwork(true);
    putServerFile("docs/a.txt", "alpha");
    addServerFolder("docs/sub");
    linkFolder("docs", "Docs");
    runCoordinatorPass();
    runComparePass();
  }

  SyncManager& m() { return *manager(); }
  // A row of the given status in the library's store, without the server.
  void row(const std::string& webpath, std::int64_t status, bool dir = false) {
    SyncFileItem item;
    item.strWebPath = webpath;
    item.bDir = dir;
    item.nUpID = m().syncdb().getID(getParent(webpath));
    item.nStatus = status;
    m().syncdb().add_new_file(item);
  }
  std::int64_t code(const std::string& name, const JsonValue& request) {
    return answer(name, json(request))["error"].asInt64();
  }
  static JsonValue moveRequest(const std::string& target, std::int64_t to, std::int64_t from,
                               std::vector<JsonValue> list) {
    return JsonValue::object({{"target", target},
                              {"targetmountid", to},
                              {"frommountid", from},
                              {"list", JsonValue::array(std::move(list))}});
  }
  static JsonValue entry(const std::string& webpath, bool keepboth = false, bool dir = false) {
    return JsonValue::object({{"webpath", webpath}, {"keepboth", keepboth}, {"dir", dir}});
  }
  void secondLibrary() {
    drive_->addLibrary({.mountId = kOtherMount});
    MountItem item;
    item.nMountID = kOtherMount;
    center().createmount(item);
  }
};

TEST_F(FileOperationPagesTest, KeepBothTakesTheFirstNameWithoutALiveRow) {
  row("docs/a(2).txt", SyncStatus::kSynced);
  row("docs/gone.txt", SyncStatus::kRemovedOnServer);
  row("docs/deleted.txt", SyncStatus::kDeletedLocally);
  struct Case {
    const char* webpath;
    const char* expected;
  };
  for (const Case& c : {Case{"docs/a.txt", "docs/a(3).txt"}, Case{"docs/sub", "docs/sub(2)"},
                        Case{"docs/gone.txt", "docs/gone.txt"},
                        Case{"docs/deleted.txt", "docs/deleted.txt"}, Case{"new.txt", "new.txt"},
                        Case{"docs", "docs(2)"}}) {
    EXPECT_EQ(bridge::keepBothWebPath(m().syncdb(), c.webpath), c.expected) << c.webpath;
  }
}

TEST_F(FileOperationPagesTest, AMoveOntoItsOwnPlaceIsDropped) {
  const Rows before = storeRows();
  EXPECT_EQ(code("gMove", moveRequest("docs", kMountId, kMountId, {entry("docs/a.txt")})), 0);
  EXPECT_EQ(storeRows(), before);
  EXPECT_EQ(TransActionCounter::shared().count(), 0);
  EXPECT_EQ(code("gMove", JsonValue::object({{"list", 1}})), Util::kBadParameters);
  EXPECT_EQ(code("gMove", moveRequest("docs/../x", kMountId, kMountId, {entry("docs/a.txt")})),
            Util::kBadParameters);
  EXPECT_EQ(code("gMove", moveRequest("docs", 999, 999, {entry("docs/sub/x")})),
            Util::kNoSuchSync);
  EXPECT_EQ(TransActionCounter::shared().count(), 0) << "lowered on every way out";
}

TEST_F(FileOperationPagesTest, AMoveAcrossLibrariesKeepsBothUnderANumberedName) {
  secondLibrary();
  SyncFileItem taken;
  taken.strWebPath = "a.txt";
  taken.nStatus = SyncStatus::kSynced;
  center().GetSyncManager(kOtherMount)->syncdb().add_new_file(taken);
  EXPECT_EQ(code("gMove", moveRequest("", kOtherMount, kMountId, {entry("docs/a.txt", true)})), 0);
  EXPECT_TRUE(storeRows(kOtherMount).contains("a(2).txt"));
  EXPECT_EQ(storeRows().at("docs/a.txt").status, SyncStatus::kDeletedLocally);
  EXPECT_EQ(TransActionCounter::shared().count(), 0);
}

TEST_F(FileOperationPagesTest, ACopyIntoItselfIsRefusedInOneLibraryOnly) {
  secondLibrary();
  EXPECT_EQ(code("gCopy", moveRequest("docs/sub", kMountId, kMountId, {entry("docs", false, true)})),
            Util::kCopyIntoChild);
  EXPECT_FALSE(storeRows().contains("docs/sub/docs"));
  EXPECT_EQ(code("gCopy", moveRequest("docs/sub", kOtherMount, kMountId,
                                      {entry("docs", false, true)})),
            0);
  EXPECT_TRUE(storeRows(kOtherMount).contains("docs/sub/docs/a.txt"));
}

TEST_F(FileOperationPagesTest, ACopyWithoutItsManagersSaysSo) {
  EXPECT_EQ(code("gCopy", moveRequest("docs", 999, 999, {entry("docs/a.txt")})), Util::kNoSuchSync);
  EXPECT_EQ(code("gCopy", moveRequest("docs", 999, kMountId, {entry("docs/a.txt")})),
            Util::kNoSuchSync);
}

TEST_F(FileOperationPagesTest, ACopyInOneLibraryRecordsTheCopyWithANotice) {
  app().setPromptMessage(true);
  app().clear();
  EXPECT_EQ(code("gCopy", moveRequest("docs/sub", kMountId, kMountId, {entry("docs/a.txt")})), 0);
  EXPECT_TRUE(storeRows().contains("docs/sub/a.txt"));
  EXPECT_EQ(app().count("setGrowlNotificationDescripation"), 1u);
  EXPECT_EQ(TransActionCounter::shared().count(), 0);
}

TEST_F(FileOperationPagesTest, ARepeatedRenameIsDroppedButARetryAfterAFailureRuns) {
  const JsonValue missing = JsonValue::object(
      {{"oldpath", "docs/a.txt"}, {"newpath", "docs/b.txt"}, {"mount_id", 999}});
  EXPECT_EQ(code("gRename", missing), Util::kNoSuchSync);
  EXPECT_EQ(code("gRename", missing), Util::kNoSuchSync) << "the failed rename ran again";

  const JsonValue rename = JsonValue::object(
      {{"oldpath", "docs/a.txt"}, {"newpath", "docs/b.txt"}, {"mount_id", kMountId}});
  EXPECT_EQ(code("gRename", rename), 0);
  EXPECT_TRUE(serverTree("docs").contains("b.txt"));
  putServerFile("docs/a.txt", "back");
  EXPECT_EQ(code("gRename", rename), 0);
  EXPECT_TRUE(serverTree("docs").contains("a.txt")) << "the repeat did nothing";

  EXPECT_EQ(code("gRename", JsonValue::object({{"oldpath", "docs/a.txt"},
                                               {"newpath", "docs/😀.txt"},
                                               {"mount_id", kMountId}})),
            Util::kEmojiName);
}

TEST_F(FileOperationPagesTest, ANewFileWithIllegalCharactersIsRenamedWithANotice) {
  app().clear();
  EXPECT_EQ(code("gNewFile", JsonValue::object({{"webpath", "docs/a:b.txt"},
                                                {"mount_id", kMountId},
                                                {"dir", 0}})),
            0);
  EXPECT_TRUE(storeRows().contains("docs/a_b.txt"));
  EXPECT_FALSE(storeRows().contains("docs/a:b.txt"));
  EXPECT_EQ(app().count("setGrowlNotificationDescripation"), 1u);
  EXPECT_EQ(code("gNewFile", JsonValue::object({{"webpath", "x"}, {"mount_id", 999}})),
            Util::kNoSuchSync);
}

TEST_F(FileOperationPagesTest, DeleteRefreshesTheFolderOnlyWhenAsked) {
  const auto shown = app().addWindow(kMountId, "docs");
  const auto request = [](int notify, const char* path) {
    return JsonValue::object({{"mount_id", kMountId},
                              {"notify", notify},
                              {"list", JsonValue::array({JsonValue::object({{"webpath", path}})})}});
  };
  EXPECT_EQ(code("gDelete", request(0, "docs/sub")), 0);
  EXPECT_TRUE(shown->events().empty());
  EXPECT_EQ(code("gDelete", request(1, "docs/a.txt")), 0);
  ASSERT_EQ(shown->events().size(), 1u);
  EXPECT_EQ(shown->events()[0].name(), "UpdateFileList");
  EXPECT_EQ(code("gDelete", request(1, "docs/../etc")), Util::kBadParameters);
}

TEST_F(FileOperationPagesTest, RecoverRevertAndRefreshAnswerTheirFixedCodes) {
  const JsonValue none = JsonValue::object(
      {{"mount_id", 999}, {"list", JsonValue::array({JsonValue::object({{"webpath", "a"}})})}});
  EXPECT_EQ(code("gRecover", none), Util::kBadParameters);
  EXPECT_EQ(answer("gRevert", "[1]")["error"].asInt64(), 0);
  EXPECT_EQ(code("gUpdateWebPath",
                 JsonValue::object({{"webpath", "docs/missing"}, {"mount_id", kMountId}})),
            0);
  EXPECT_EQ(code("gLock", JsonValue::object({{"webpath", "a"}, {"mount_id", 999}})),
            Util::kNoSuchSync);
}

TEST_F(FileOperationPagesTest, SaveAsStoppedAtTheNameQuestionAnswersTwo) {
  ScopedFakeCopyWindows windows;
  const fs::path folder = home() / "Downloads";
  fs::create_directories(folder);
  std::ofstream(folder / "a.txt") << "mine";
  const JsonValue request = JsonValue::object({{"savepath", folder.string()},
                                               {"mount_id", kMountId},
                                               {"webpath", "docs/a.txt"},
                                               {"dir", 0}});
  windows->answerNext({1, false});
  EXPECT_EQ(json(answer("gSaveAs", json(request))),
            json(JsonValue::object({{"error", 2}, {"message", ""}})));
  EXPECT_EQ(windows->asked().size(), 1u);

  JsonValue escape = JsonValue::object(
      {{"savepath", folder.string()}, {"mount_id", kMountId}, {"webpath", "docs/.."}});
  EXPECT_EQ(code("gSaveAs", escape), Util::kBadParameters);
}

TEST_F(FileOperationPagesTest, TemplatesListPresentFilesAndFetchMissingOnes) {
  const std::string present(40, 'a');
  const std::string missing(40, 'b');
  fs::create_directories(platform::templateFolder());
  std::ofstream(platform::templateFolder() / present) << "template";
  for (const std::string& hash : {present, missing, std::string("../../x")}) {
    TemplateItem item;
    item.nEntID = 3;
    item.strHash = hash;
    item.strName = "t" + hash.substr(0, 1);
    item.strFullpath = "/tpl/" + item.strName;
    Mountsdb::shareMountsdb().addTemplate(item);
  }
  app().taskQueue()->setSuspended(true);
  const JsonValue got = answer("gFileTemplate", R"({"ent_id":3})");
  ASSERT_EQ(got["list"].size(), 1u);
  EXPECT_EQ(got["list"][0]["filehash"].asString(), present);
  EXPECT_EQ(app().taskQueue()->operationCount(), 1u) << "only the missing content hash";
  app().taskQueue()->cancelAllOperations();
  app().taskQueue()->setSuspended(false);
  EXPECT_EQ(json(answer("gFileTemplate", R"({"ent_id":-1})")), "{}");
}

TEST_F(FileOperationPagesTest, FavouritesAlwaysAnswerAnEmptyObject) {
  EXPECT_EQ(run("gSetFileFavorite", R"({"mount_id":7,"hash":"h","favorite":[1,2]})"), "{}");
  EXPECT_EQ(Mountsdb::shareMountsdb().getTypeForHash("h"), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(run("gDelFileFavorite", R"({"mount_id":7,"hash":"h","favorite":1})"), "{}");
  EXPECT_EQ(Mountsdb::shareMountsdb().getTypeForHash("h"), (std::vector<std::int64_t>{2}));
  EXPECT_EQ(run("gSetFileFavorite", "[]"), "{}");
  EXPECT_EQ(run("gSetFav", R"({"id":1,"type":2,"name":"n","color":"c"})"), std::nullopt);
}

}  // namespace
}  // namespace nb::test
