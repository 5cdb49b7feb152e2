// Folder listings and file information for pages, against the sync test
// world.

#include <gtest/gtest.h>

#include "bridge/functions/PageWorld.h"
#include "stores/catalogue/Mountsdb.h"
#include "sync/centre/SyncCenter.h"
#include "sync/centre/SyncManager.h"

namespace nb::test {
namespace {

class FileListPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    putServerFile("docs/b.txt", "bb");
    putServerFile("docs/a.txt", "a");
    putServerFile("docs/c.txt", "ccc");
    addServerFolder("docs/sub");
    putServerFile("docs/sub/deep.txt", "d");
  }
  SyncManager& started() {
    linkFolder("docs", "Docs");
    runCoordinatorPass();
    runComparePass();
    return *manager();
  }
  std::string listing(const std::string& webpath, const std::string& extra = "") {
    return R"({"webpath":")" + webpath + R"(","mount_id":)" + std::to_string(kMountId) + extra +
           "}";
  }
  static std::vector<std::string> paths(const JsonValue& answer) {
    std::vector<std::string> out;
    for (const JsonValue& e : answer["list"].elements()) out.emplace_back(e["path"].asString());
    return out;
  }
};

TEST_F(FileListPagesTest, ANoManagerListingIsEmptyButRecordsTheWindowsFolder) {
  const JsonValue got = answer("gGetFileList", listing("docs", R"(,"current":1)"));
  EXPECT_EQ(got, JsonValue::object({{"list", JsonValue::array({})},
                                    {"syncpath", ""},
                                    {"synctype", -1},
                                    {"filecount", 0},
                                    {"foldercount", 0}}));
  EXPECT_EQ(controller->nCurrentMountID(), kMountId);
  EXPECT_EQ(controller->strCurrentWebPath(), "docs");
  EXPECT_EQ(answer("gGetFileList", "[]")["synctype"].asInt64(), -1);
}

TEST_F(FileListPagesTest, ListingsPageAndSortInTheStore) {
  started();
  const JsonValue all = answer("gGetFileList", listing("docs"));
  EXPECT_EQ(paths(all), (std::vector<std::string>{"docs/sub", "docs/a.txt", "docs/b.txt",
                                                   "docs/c.txt"}));
  EXPECT_EQ(all["syncpath"].asString(), "docs");
  EXPECT_EQ(all["synctype"].asInt64(), 2);
  EXPECT_EQ(all["filecount"].asInt64(), 3);
  EXPECT_EQ(all["foldercount"].asInt64(), 1);
  EXPECT_EQ(all["list"][0]["mount_id"].asInt64(), kMountId);

  const JsonValue page = answer(
      "gGetFileList", listing("docs", R"(,"start":1,"count":2,"sort":"filesize","sorttype":"desc")"));
  EXPECT_EQ(paths(page), (std::vector<std::string>{"docs/b.txt", "docs/a.txt"}));
  EXPECT_EQ(page["filecount"].asInt64(), 3) << "counts are of the folder, not of the page";
  EXPECT_EQ(paths(answer("gGetFileList", listing("docs", R"(,"dir":1)"))),
            std::vector<std::string>{"docs/sub"});

  const JsonValue recent = answer("gGetFileListByTime", listing("", R"(,"start":0,"count":2)"));
  EXPECT_EQ(recent["list"].size(), 2u);
  EXPECT_EQ(recent["synctype"].asInt64(), -1);
  EXPECT_EQ(answer("gGetFileCount", listing("docs")),
            JsonValue::object(
                {{"totalfilecount", 4}, {"totalfilesize", 7}, {"totalfoldercount", 1}}));
}

TEST_F(FileListPagesTest, AFolderRowWithAStaleIdIsRepairedFromADirectChildOnly) {
  SyncManager& m = started();
  Syncdb& store = m.syncdb();
  const std::int64_t docs = store.getID("docs");
  const std::int64_t sub = store.getID("docs/sub");
  // The folder row lost its id: its children still name the old one.
  store.updateErrorId(docs, 9000);
  const JsonValue first = answer("gGetFileList", listing("docs"));
  EXPECT_EQ(first["list"].size(), 4u);
  EXPECT_EQ(first["filecount"].asInt64(), 0) << "counts of the old id";
  EXPECT_EQ(store.getID("docs"), docs);

  // Only a grandchild left under the folder: its parent is another folder.
  store.updateErrorId(sub, 9100);
  for (const char* p : {"docs/a.txt", "docs/b.txt", "docs/c.txt"}) store.del_file(p);
  store.del_file("docs/sub");
  EXPECT_TRUE(answer("gGetFileList", listing("docs"))["list"].empty());
  EXPECT_EQ(store.getID("docs"), docs) << "not re-pointed to a grandchild's parent";
}

TEST_F(FileListPagesTest, TheFirstPassFetchesEachUnfetchedFolderOnce) {
  SyncManager& m = started();
  const std::size_t before = callCount("/1/file/ls");
  m.bFirstCompare = true;
  answer("gGetFileList", listing("docs/sub"));
  app().taskQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(callCount("/1/file/ls"), before + 1);
  answer("gGetFileList", listing("docs/sub"));
  app().taskQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(callCount("/1/file/ls"), before + 1) << "fetched once";
  m.bFirstCompare = false;
  answer("gGetFileList", listing("docs"));
  app().taskQueue()->waitUntilAllOperationsAreFinished();
  EXPECT_EQ(callCount("/1/file/ls"), before + 1) << "nothing after the first pass";
}

TEST_F(FileListPagesTest, FileInformationAndPathChecks) {
  SyncManager& m = started();
  writeLocal("here.txt", "x");
  const std::string uuid = m.syncdb().get_single_file("docs/a.txt").strUuidHash;
  ASSERT_FALSE(uuid.empty());
  const std::string id = std::to_string(kMountId);

  const JsonValue byUuid = answer(
      "gGetFileInfo", R"({"mount_id":)" + id + R"(,"uuidhash":")" + uuid + R"(","webpath":""})");
  EXPECT_EQ(byUuid["path"].asString(), "docs/a.txt");
  EXPECT_EQ(byUuid["syncpath"].asString(), "") << "the link state comes from the web path";
  EXPECT_EQ(answer("gGetFileInfo", R"({"mount_id":)" + id + R"(,"webpath":"docs/b.txt"})")
                ["syncpath"].asString(),
            "docs");
  EXPECT_EQ(answer("gGetFileInfo", R"({"mount_id":)" + id + "}"),
            JsonValue::object({{"syncpath", ""}, {"synctype", -1}}));
  EXPECT_EQ(answer("gGetFileInfo", R"({"mount_id":null,"webpath":"docs"})"), JsonValue::object({}));
  EXPECT_EQ(answer("gGetFileInfo", R"({"mount_id":)" + id + R"(,"webpath":"nope"})"),
            JsonValue::object({}));

  const std::string both = R"({"list":[{"mount_id":)" + id +
                           R"(,"webpath":"docs/a.txt","fullpath":")" + local("gone").string() +
                           R"("},{"fullpath":")" + local("here.txt").string() +
                           R"("},{"mount_id":)" + id + R"(,"webpath":"nope"},{}]})";
  const JsonValue checked = answer("gCheckPathExist", both);
  ASSERT_EQ(checked["list"].size(), 4u);
  EXPECT_EQ(checked["list"][0], checked["list"][1]) << "one object, listed twice";
  EXPECT_EQ(checked["list"][0]["exist"].asInt64(), 0) << "the local test's answer";
  EXPECT_EQ(checked["list"][0]["webpath"].asString(), "docs/a.txt");
  EXPECT_EQ(checked["list"][2]["exist"].asInt64(), 1);
  EXPECT_EQ(checked["list"][3]["exist"].asInt64(), 0);
  EXPECT_EQ(answer("gCheckPathExist", R"({"list":3})"), JsonValue::object({{"list", JsonValue::array({})}}));
  EXPECT_EQ(answer("gCheckPathExist", "no"), JsonValue::object({}));

  EXPECT_EQ(answer("gCheckFileCache", R"({"filehash":"../../x"})").asInt64(), 0);
  EXPECT_EQ(answer("gCheckFileCache", "[]").asInt64(), 0);
}

TEST_F(FileListPagesTest, SideTreeAndLibraryInformation) {
  MountItem broken;
  broken.nMountID = 30;
  broken.nOrgID = 30;
  broken.strInfo = "{not json";
  Mountsdb::shareMountsdb().addMount(broken);
  const JsonValue org = answer("gSideTreeList", R"({"sidetype":"org"})");
  ASSERT_EQ(org["list"].size(), 1u) << "an unreadable library is left out";
  EXPECT_EQ(org["list"][0]["mount_id"].asInt64(), kMountId);
  EXPECT_EQ(answer("gSideTreeList", R"({"sidetype":"other"})"),
            JsonValue::object({{"list", JsonValue::array({})}}));
  EXPECT_EQ(answer("gGetMountInfo", R"({"mount_id":)" + std::to_string(kMountId) + "}"),
            JsonValue::object({{"mount_id", kMountId}}));
  EXPECT_EQ(answer("gGetMountInfo", R"({"mount_id":555})"), JsonValue::object({}));
  app().setLoginFinish(false);
  EXPECT_EQ(answer("gSideTreeList", R"({"sidetype":"org"})"), JsonValue::object({}));
}

}  // namespace
}  // namespace nb::test
