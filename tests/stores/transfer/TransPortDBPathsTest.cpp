// Per-path transfer information and bulk path changes of the transfer store.

#include <gtest/gtest.h>

#include "stores/transfer/TransPortDBFixture.h"

namespace nb::test {
namespace {

class TransPortDBPathsTest : public TransPortDBTestBase {
 protected:
  void upload(std::int64_t mountid, const std::string& webpath, std::int64_t status = kTransWaiting,
              const std::string& fullpath = "/home/u/f") {
    TransportItem item = record(mountid, webpath, fullpath);
    item.nStatus = status;
    ASSERT_TRUE(store.Add_Upload(item, "/"));
  }
  void download(std::int64_t mountid, const std::string& webpath, const std::string& fullpath,
                std::int64_t status = kTransWaiting) {
    TransportItem item = record(mountid, webpath, fullpath);
    item.nStatus = status;
    store.Add_Download(item);
  }
  std::vector<std::string> paths(const char* table, std::int64_t mountid,
                                 const char* column = "webpath") {
    std::vector<std::string> out;
    store.inDatabase([&](FMDatabase& db) {
      auto rows = db.executeQuery(std::string("select ") + column + " from " + table +
                                      " where mountid = ? order by " + column,
                                  {mountid});
      while (rows && rows->next()) out.push_back(rows->stringForColumnIndex(0).value_or(""));
      if (rows) rows->close();
    });
    return out;
  }
  using Paths = std::vector<std::string>;
};

TEST_F(TransPortDBPathsTest, TransferInfoPrefersTheUpload) {
  download(1, "/a", "/l/a");
  EXPECT_EQ(store.GetTransInfo("/a", 1).strFullpath, "/l/a");
  EXPECT_EQ(store.GetTransInfo("/a", 1).ullLast, 0u);
  upload(1, "/a", kTransStopped, "/up/a");
  const TransportItem info = store.GetTransInfo("/a", 1);
  EXPECT_EQ(info.strFullpath, "/up/a");
  EXPECT_EQ(info.nStatus, kTransStopped);
  EXPECT_EQ(info.ullLast, kNow - 50);
  const TransportItem none = store.GetTransInfo("/a", 2);
  EXPECT_EQ(none.nIndex, 0);
  EXPECT_EQ(none.strWebpath, "");
}

TEST_F(TransPortDBPathsTest, RemovalsTakeThePathAndItsDescendantsOnly) {
  for (const char* p : {"a", "a/x", "ab", "a_b", "axb/f", "A/Y"}) {
    upload(1, p);
    download(1, p, std::string("/l/") + p);
  }
  upload(1, "a/done", kTransFinished);
  upload(2, "a");
  store.RemoveWebpathUnFinish(1, "a");
  EXPECT_EQ(paths("Upload", 1), (Paths{"a/done", "a_b", "ab", "axb/f"}));
  EXPECT_EQ(paths("Download", 1), (Paths{"a_b", "ab", "axb/f"}));
  store.RemoveWebpath(1, "a_b");
  EXPECT_EQ(paths("Upload", 1), (Paths{"a/done", "ab", "axb/f"}));
  store.RemoveWebpath(1, "a");
  EXPECT_EQ(paths("Upload", 1), (Paths{"ab", "axb/f"}));
  store.RemoveWebpath(1, "");
  EXPECT_TRUE(paths("Upload", 1).empty());
  EXPECT_TRUE(paths("Download", 1).empty());
  EXPECT_EQ(paths("Upload", 2), (Paths{"a"}));
  store.RemoveMountid(2);
  EXPECT_EQ(number("select count(*) from Upload"), 0);
}

TEST_F(TransPortDBPathsTest, RenameMovesWebPathsAndOnlyDownloadFullPaths) {
  for (const char* p : {"a", "a/x", "a/x/y", "ab/x"}) upload(1, p, kTransWaiting, "/up/keep");
  download(1, "a", "/u/a");
  download(1, "a/x", "/u/a/x");
  download(1, "a/y", "/elsewhere/y");  // saved outside the old folder
  exec("insert into OPENHISTORY values(1, 'a/x', '/o/x', 1, 1, 1)");
  store.RenameTrans(1, "a", "b", "", "/u/b");  // one full path missing: web paths only
  EXPECT_EQ(paths("Upload", 1), (Paths{"ab/x", "b", "b/x", "b/x/y"}));
  EXPECT_EQ(paths("Download", 1, "fullpath"), (Paths{"/elsewhere/y", "/u/a", "/u/a/x"}));
  EXPECT_EQ(text("select webpath from OPENHISTORY"), "b/x");

  store.RenameTrans(1, "b", "c", "/u/a", "/u/b");
  EXPECT_EQ(paths("Download", 1), (Paths{"c", "c/x", "c/y"}));
  EXPECT_EQ(paths("Download", 1, "fullpath"), (Paths{"/elsewhere/y", "/u/b", "/u/b/x"}));
  EXPECT_EQ(paths("Upload", 1, "fullpath"), Paths(4, "/up/keep"));
  EXPECT_EQ(text("select fullpath from OPENHISTORY"), "/o/x");
}

TEST_F(TransPortDBPathsTest, RenameOfALocalFileMovesItsUploads) {
  upload(1, "a", kTransWaiting, "/l/old");
  upload(1, "b", kTransWaiting, "/l/older");
  upload(2, "a", kTransWaiting, "/l/old");
  store.RenameTrans(1, "/l/old", "/l/new");
  EXPECT_EQ(paths("Upload", 1, "fullpath"), (Paths{"/l/new", "/l/older"}));
  EXPECT_EQ(paths("Upload", 2, "fullpath"), (Paths{"/l/old"}));
}

TEST_F(TransPortDBPathsTest, CopyQueuesPendingUploadsInTheTargetLibrary) {
  upload(1, "a/f", kTransStopped, "/l/f");
  exec("update Upload set expand = 3, offset = 70");
  upload(1, "a/done", kTransFinished);
  upload(1, "ab/g");
  store.CopyTrans({MoveItem{"a", "c/a", true}}, 1, 2);
  const auto copies = store.Get_Uploads(2, "c");
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].strWebpath, "c/a/f");
  EXPECT_EQ(copies[0].strFullpath, "/l/f");
  EXPECT_EQ(copies[0].nStatus, kTransWaiting);
  EXPECT_EQ(copies[0].nExpand, 3);
  EXPECT_EQ(copies[0].ullOffset, 0u);
  EXPECT_EQ(text("select parentpath from Upload where mountid = 2"), "c/a");
  EXPECT_EQ(paths("Upload", 1), (Paths{"a/done", "a/f", "ab/g"}));  // sources stay
}

}  // namespace
}  // namespace nb::test
