// Linking, moving and unlinking local folders from a page, and the other
// sync-folder page functions, against the sync test world.

#include <gtest/gtest.h>

#include <filesystem>

#include "api/session/UserData.h"
#include "bridge/functions/PageWorld.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

std::string text(const std::string& key, const std::string& fill = {}) {
  std::string t = Util::localizedStringForKey(key);
  return fill.empty() ? t : fillMarks(std::move(t), {fill});
}

JsonValue status(std::int64_t code, const std::string& message) {
  return JsonValue::object({{"error", code}, {"message", message}});
}

class SyncFolderPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    addServerFolder("docs");
    addServerFolder("pics");
    linkFolder("docs", "Docs");
  }
  // The library's manager made and started, its first pass done.
  SyncManager& started() {
    runCoordinatorPass();
    runComparePass();
    return *manager();
  }
  std::string link(const std::string& webpath, const std::string& fullpath, int type = 2,
                   std::int64_t mountid = kMountId) {
    return json(JsonValue::object({{"webpath", webpath},
                                   {"fullpath", fullpath},
                                   {"mount_id", mountid},
                                   {"type", type}}));
  }
  std::string linked(const std::string& webpath) { return manager()->getnormalpath(webpath); }
};

TEST_F(SyncFolderPagesTest, LinkingRefusesInOrder) {
  SyncManager& m = started();
  m.nPermissions = 0;
  SyncFileItem secret;
  secret.strWebPath = "pics/secret";
  secret.bDir = true;
  secret.nUpID = m.syncdb().getID("pics");
  secret.nStatus = 2;
  secret.strProperty = R"({"permisson":["file_write"]})";
  m.syncdb().add_new_file(secret);
  const std::string config = UserData::shareUserData().configPath();
  fs::create_symlink(config, local("cfglink"));
  std::string docs;
  m.check_dir_legecy(local("Docs").string(), docs);
  ASSERT_FALSE(docs.empty());

  struct Case {
    std::string request;
    JsonValue answer;
  };
  const std::vector<Case> cases = {
      {"[1]", status(10007, Util::GetMyErrorMessage(10007))},
      {link("pics", local("P").string(), 2, 999), status(10005, Util::GetMyErrorMessage(10005))},
      {link("pics", local("Pics😀").string()),
       status(10011, text("项目名称［%@］存在特殊字符，无法上传。", "Pics😀"))},
      {link("pics", config), status(10011, text("configpathlinkerror"))},
      {link("pics", local("cfglink").string() + "/"), status(10011, text("configpathlinkerror"))},
      {link("pics", local("cfglink/x").string()), status(10011, text("configpathlinkerror"))},
      {link("pics", local("missing/../cfglink/x").string()),
       status(10011, text("configpathlinkerror"))},
      {link("pics", fs::path(config).parent_path().string()),
       status(10011, text("configpathlinkerror"))},
      {link("pics", "/"), status(10011, text("configpathlinkerror"))},
      {link("pics", local("Docs/inner").string()), status(10011, text("上级目录［%@］已绑定", docs))},
      {link("pics", localRoot().string()), status(10011, text("下级目录［%@］已绑定", docs))},
      {link("pics", local("Pics").string()),
       status(10011, text("同步目录[%@]下含有无下载权限的文件夹，同步目录自动取消绑定！", "pics"))},
      {link("", local("All").string()),
       status(10011, text("同步目录[%@]下含有无下载权限的文件夹，同步目录自动取消绑定！",
                          m._strMountName()))},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(json(answer("gSetLinkPath", c.request)), json(c.answer)) << c.request;
  }
  EXPECT_EQ(linked("pics"), "") << "nothing was linked";
  // A backup link is not asked for download rights.
  center().setBCompareNow(false);
  EXPECT_EQ(answer("gSetLinkPath", link("pics", local("Pics").string(), 1)), status(0, ""));
  EXPECT_EQ(linked("pics"), local("Pics").string());
  EXPECT_TRUE(m.bStart());
  EXPECT_TRUE(center().bCompareNow());
}

TEST_F(SyncFolderPagesTest, ABackupMoveIntoAFullFolderAsksNothingAndMerges) {
  linkFolder("pics", "Pics", 1);
  writeLocal("Pics/a.txt", "a");
  writeLocal("Target/b.txt", "b");
  started();
  EXPECT_EQ(answer("gMoveLinkPath", link("pics", local("Target").string(), 1)), status(0, ""));
  EXPECT_TRUE(ui->dialogs().shown().empty());
  EXPECT_EQ(linked("pics"), local("Target").string());
  EXPECT_EQ(readLocal("Target/a.txt"), "a");
  EXPECT_EQ(readLocal("Target/b.txt"), "b");
  EXPECT_TRUE(manager()->bStart());
}

TEST_F(SyncFolderPagesTest, AMissingOldFolderIsRelinkedWithoutAMove) {
  SyncManager& m = started();
  removeLocal("Docs");
  EXPECT_EQ(answer("gMoveLinkPath", link("docs", local("New").string())), status(0, ""));
  EXPECT_EQ(linked("docs"), local("New").string());
  EXPECT_FALSE(fs::exists(local("Docs")));
  EXPECT_TRUE(m.bStart());
}

TEST_F(SyncFolderPagesTest, AFailedMoveKeepsTheLibrarySyncing) {
  writeLocal("Docs/a.txt", "a");
  writeLocal("plain.txt", "x");
  SyncManager& m = started();
  EXPECT_EQ(answer("gMoveLinkPath", link("docs", local("plain.txt/sub").string())),
            status(10006, Util::GetMyErrorMessage(10006)));
  ASSERT_EQ(ui->dialogs().shown().size(), 1u);
  EXPECT_EQ(ui->dialogs().shown()[0].alert.informative, text("移动目录失败，请重试！"));
  EXPECT_TRUE(m.bStart()) << "the library's other links go on";
  EXPECT_EQ(linked("docs"), "") << "the old link is not put back";
  EXPECT_EQ(readLocal("Docs/a.txt"), "a");
}

TEST_F(SyncFolderPagesTest, MovesThatTheUserOrTheChecksStopAnswerAnEmptyObject) {
  writeLocal("Docs/a.txt", "a");
  writeLocal("Full/b.txt", "b");
  fs::create_symlink(UserData::shareUserData().configPath(), local("cfglink"));
  started();
  // Into a linked folder, onto the configuration folder, then "choose again".
  ui->dialogs().answerNext(2);
  const std::vector<std::string> requests = {link("docs", local("Docs/sub").string()),
                                             link("docs", local("cfglink").string()),
                                             link("docs", local("Full").string())};
  for (const std::string& r : requests) {
    EXPECT_EQ(answer("gMoveLinkPath", r), JsonValue::object({})) << r;
  }
  const auto shown = ui->dialogs().shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].alert.informative, text("configpathlinkerror"));
  EXPECT_EQ(shown[2].alert.buttons.size(), 3u);
  EXPECT_EQ(linked("docs"), local("Docs").string()) << "nothing changed";
  EXPECT_EQ(readLocal("Docs/a.txt"), "a");

  // "Cloud over local" moves with the overwrite flag.
  ui->dialogs().answerNext(0);
  EXPECT_EQ(answer("gMoveLinkPath", link("docs", local("Full").string())), status(0, ""));
  EXPECT_EQ(linked("docs"), local("Full").string());
  EXPECT_TRUE(manager()->overwrite().checkNode("docs"));
}

TEST_F(SyncFolderPagesTest, UnlinkTellsTheParentFolderViewsAndAsksForACompare) {
  SyncManager& m = started();
  const auto view = app().addWindow(kMountId, "");
  center().setBCompareNow(false);
  EXPECT_EQ(answer("gDeleteLinkPath", R"({"webpath":"docs","mount_id":)" +
                                          std::to_string(kMountId) + "}"),
            status(0, ""));
  EXPECT_EQ(linked("docs"), "");
  ASSERT_EQ(view->events().size(), 1u);
  EXPECT_EQ(view->events()[0].name(), "UpdateFileList");
  EXPECT_TRUE(center().bCompareNow());
  EXPECT_TRUE(m.bStart());
  EXPECT_EQ(answer("gDeleteLinkPath", "x")["error"].asInt64(), 10007);
  EXPECT_EQ(answer("gCache", R"({"mount_id":999})")["error"].asInt64(), 10005);
}

TEST_F(SyncFolderPagesTest, EmptinessAnswersOneUnlessATestSaysZero) {
  started();
  writeLocal("File.txt", "x");
  makeLocalFolder("Empty");
  const std::string id = std::to_string(kMountId);
  struct Case {
    std::string request;
    std::int64_t answer;
  };
  const std::vector<Case> cases = {
      {"nope", 1},
      {R"({"type":"fullpath","path":")" + local("File.txt").string() + "\"}", 0},
      {R"({"type":"fullpath","path":")" + local("Missing").string() + "\"}", 1},
      {R"({"type":"fullpath","dir":true,"path":")" + local("Empty").string() + "\"}", 1},
      {R"({"type":"fullpath","dir":true,"path":")" + localRoot().string() + "\"}", 0},
      {R"({"type":"webpath","webpath":"docs","dir":true,"mount_id":999})", 1},
      {R"({"type":"other","path":")" + local("File.txt").string() + "\"}", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(answer("gCheckEmpty", c.request).asInt64(), c.answer) << c.request;
  }
  app().setLoginFinish(false);
  EXPECT_EQ(answer("gCheckEmpty", cases[1].request).asInt64(), 1);
}

TEST_F(SyncFolderPagesTest, LinkListDefaultFolderShortcutsAndTheCompareAlert) {
  started();
  const JsonValue links = answer("gGetLinkPath", "");
  ASSERT_EQ(links["list"].size(), 1u);
  EXPECT_EQ(links["list"][0]["webpath"].asString(), "docs");
  EXPECT_EQ(links["list"][0]["fullpath"].asString(), local("Docs").string() + "/");
  const std::string pics = R"({"webpath":"pics","mount_id":)" + std::to_string(kMountId) + "}";
  EXPECT_TRUE(answer("gGetSyncNormalPath", pics)["path"].asString().ends_with("/pics"));
  EXPECT_EQ(answer("gGetSyncNormalPath", R"({"mount_id":999})"), JsonValue::object({}));
  EXPECT_EQ(answer("gGetShortcuts", ""), JsonValue::object({}));
  Mountsdb::shareMountsdb().addLinks(R"({"list":[{"id":1}]})");
  EXPECT_EQ(answer("gGetShortcuts", "")["list"].size(), 1u);

  EXPECT_EQ(answer("gCompare", ""), JsonValue::object({}));
  ASSERT_EQ(ui->dialogs().shown().size(), 1u);
  EXPECT_EQ(ui->dialogs().shown()[0].alert.informative, text("Mac同步客户端，不支持此功能！"));

  app().setLoginFinish(false);
  EXPECT_EQ(answer("gGetLinkPath", ""), JsonValue::object({}));
  EXPECT_EQ(answer("gGetShortcuts", ""), JsonValue::object({}));
}

TEST_F(SyncFolderPagesTest, ResetWithCurrentFetchesTheFolderInsteadOfResetting) {
  started();
  app().clear();
  EXPECT_EQ(run("gReset", R"({"webpath":"docs","mount_id":)" + std::to_string(kMountId) +
                              R"(,"current":1})"),
            std::nullopt);
  app().taskQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(app().count("setAllCustomEvent"), 1u) << "the folder's listing was fetched";
  EXPECT_TRUE(storeRows().contains("docs"));
}

TEST_F(SyncFolderPagesTest, GrantedLibrariesAlreadyKnownSendNothing) {
  auto& first = drive_->addLibrary({.mountId = 20, .orgId = 5, .orgName = "A"});
  auto& second = drive_->addLibrary({.mountId = 21, .orgId = 5, .orgName = "B"});
  (void)first;
  (void)second;
  for (std::int64_t id : {20, 21}) {
    MountItem item;
    item.nMountID = id;
    item.nOrgID = 5;
    center().createmount(item);
  }
  app().clear();
  const JsonValue got = answer("gNotice", R"({"org_id":5,"type":"getOrg"})");
  EXPECT_EQ(got["mount_id"].asInt64(), 21) << "the last library's JSON";
  EXPECT_EQ(app().count("gCompareNotifyReset"), 0u);
  EXPECT_EQ(Mountsdb::shareMountsdb().getMountByMountID(20).nOrgID, 5);

  // A withdrawal for an organisation without a manager sends nothing.
  EXPECT_EQ(answer("gNotice", R"({"org_id":77,"type":"removeOrg"})"), status(0, ""));
  EXPECT_EQ(app().count("gCompareNotifyReset"), 0u);
  EXPECT_EQ(answer("gNotice", R"({"org_id":5,"type":"removeOrg"})"), status(0, ""));
  EXPECT_EQ(app().count("gCompareNotifyReset"), 1u);
  EXPECT_TRUE(!center().GetSyncManager(20) || !center().GetSyncManager(21));
}

}  // namespace
}  // namespace nb::test
