// The member's rights on a library as the service lists them, the verdicts
// of entry properties, the download check of a folder tree and the
// read-only walk.
#include <sys/stat.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "stores/transfer/TransPortDB.h"
#include "sync/centre/SyncStates.h"
#include "sync/local/Directoryhandler.h"
#include "sync/local/LocalWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class LibraryRightsTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    addServerFolder("docs");
    addServerFolder("keep");
    linkFolder("docs", "Docs", LinkType::kSync);
    linkFolder("keep", "Keep", LinkType::kBackup);
    runCoordinatorPass();
    ASSERT_TRUE(manager());
  }
  // The service lists these words for the member from now on; the next
  // catalogue refresh reads them.
  void serverGrants(const std::string& words) {
    drive_->setLibraryProperty(kMountId, R"({"permissions":[)" + words + "]}");
    center().setBRegetServer(true);
    runCoordinatorPassAfter(std::chrono::seconds(1));
  }
  bool watched(const std::string& relative) {
    for (const auto& handler : center().handlerlist()) {
      if (handler->_srcPath() == local(relative).string() + "/") return true;
    }
    return false;
  }
};

TEST_F(LibraryRightsTest, EachRightRemovedInTurn) {
  const struct {
    const char* words;
    int64_t bits;
    bool read, write, upload, remove;
  } cases[] = {
      {R"("file_sync","file_upload")", 36, true, true, true, true},
      {R"("file_read","file_write","file_upload","file_delete","file_discuss")", 59, true, true,
       true, true},
      {R"("file_read","file_upload","file_delete")", 56, true, false, true, true},
      {R"("file_read","file_write","file_delete")", 25, true, true, false, true},
      {R"("file_write","file_upload","file_delete")", 49, false, true, true, true},
      {R"("file_read","file_write","file_upload")", 41, true, true, true, false},
  };
  const auto m = manager();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words);
    serverGrants(c.words);
    EXPECT_EQ(m->nPermissions, c.bits);
    EXPECT_EQ(m->getFilePropertyForRead("docs/a.txt"), c.read);
    EXPECT_EQ(m->getFilePropertyForWrite("docs/a.txt"), c.write);
    EXPECT_EQ(m->getFilePropertyForUpload("docs/a.txt"), c.upload);
    EXPECT_EQ(m->getFilePropertyForDelete("docs/a.txt"), c.remove);
    // Writing or uploading still feeds the backup link.
    EXPECT_EQ(m->linkfolder().getLinkNodes().size(), 2U);
  }
  // An empty list grants everything, as no list does.
  serverGrants("");
  EXPECT_EQ(m->nPermissions, Permission::kAll);
}

TEST_F(LibraryRightsTest, ReadingAloneUnlinksEveryBackupLink) {
  const auto m = manager();
  TransPortDB& trans = TransPortDB::shareTransPortDB();
  TransportItem finished;
  finished.nMountid = kMountId;
  finished.strWebpath = "keep/done.txt";
  finished.strFullpath = local("Keep/done.txt").string();
  finished.nStatus = 2;
  trans.Add_Download(finished);
  trans.Update_DownloadFinish(trans.Get_Download(kMountId, "keep/done.txt").nIndex);
  network().clear();

  serverGrants(R"("file_read","file_delete")");
  EXPECT_EQ(m->nPermissions, Permission::kFileRead | Permission::kFileDelete);
  const auto links = m->linkfolder().getLinkNodes();
  ASSERT_EQ(links.size(), 1U);
  EXPECT_EQ(links[0].strWebPath, "docs");
  ASSERT_EQ(m->syncdb().get_links().size(), 1U);
  EXPECT_FALSE(watched("Keep"));
  EXPECT_TRUE(watched("Docs"));
  EXPECT_EQ(trans.Get_Download(kMountId, "keep/done.txt").nIndex, 0);
  size_t cleared = 0;
  for (const auto& call : network().calls()) {
    if (call.name == "ClearTrans" && call.argument.starts_with("keep|")) ++cleared;
  }
  EXPECT_GE(cleared, 1U);
  EXPECT_TRUE(fs::is_directory(local("Keep")));
}

class EntryVerdictTest : public test::LocalWorld {
 protected:
  void withProperty(const std::string& webpath, const std::string& property, bool dir) {
    stored(webpath, SyncStatus::kSynced, dir);
    m_->syncdb().update_property(webpath, property);
  }
  static mode_t mode(const fs::path& p) {
    struct stat st {};
    ::lstat(p.c_str(), &st);
    return st.st_mode & 0777;
  }
};

TEST_F(EntryVerdictTest, PropertyVerdictsForEachRight) {
  const struct {
    const char* property;
    int64_t read, write, upload, remove;
  } cases[] = {
      {"not json", 0, 0, 0, 0},
      {"{}", 0, 0, 0, 0},
      {"[]", 0, 0, 0, 0},
      {R"({"permisson":"file_read"})", 0, 0, 0, 0},
      {R"({"permissions":["file_read"]})", 0, 0, 0, 0},  // the library's key decides nothing here
      {R"({"permisson":[]})", 2, 2, 2, 2},
      {R"({"permisson":["file_write"]})", 2, 1, 2, 2},
      {R"({"permisson":["file_read","file_upload","file_delete"]})", 1, 2, 1, 1},
  };
  m_->nPermissions = Permission::kFileRead | Permission::kFileWrite;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.property);
    EXPECT_EQ(SyncManager::checkFilePropertyForRead(c.property, m_->nPermissions), c.read);
    EXPECT_EQ(m_->checkFilePropertyForWrite(c.property), c.write);
    EXPECT_EQ(m_->checkFilePropertyForUpload(c.property), c.upload);
    EXPECT_EQ(m_->checkFilePropertyForDelete(c.property), c.remove);
  }
  // "file_sync" allows everything, whatever the entry says.
  m_->nPermissions = Permission::kFileSync;
  EXPECT_EQ(m_->checkFilePropertyForWrite(R"({"permisson":[]})"), 1);
  EXPECT_EQ(SyncManager::checkFilePropertyForRead(R"({"permisson":[]})", Permission::kFileSync), 1);
}

TEST_F(EntryVerdictTest, DownloadCheckFindsARefusalHoweverDeep) {
  m_->nPermissions = 0;  // the library's read bit is not asked
  withProperty("docs/a", "{}", true);
  withProperty("docs/a/b", R"({"other":1})", true);
  withProperty("docs/a/b/c", R"({"permisson":["file_write"]})", true);
  withProperty("docs/free", R"({"permisson":["file_read"]})", true);
  withProperty("docs/a/b/c.txt", R"({"permisson":[]})", false);  // files are not asked
  for (const char* folder : {"", "docs", "docs/a", "docs/a/b", "docs/a/b/c"}) {
    EXPECT_FALSE(m_->checkCanDownloadForFolder(folder)) << folder;
  }
  EXPECT_TRUE(m_->checkCanDownloadForFolder("docs/free"));
  EXPECT_TRUE(m_->checkCanDownloadForFolder("docs/none"));
  m_->nPermissions = Permission::kFileSync;
  EXPECT_TRUE(m_->checkCanDownloadForFolder("docs"));
}

TEST_F(EntryVerdictTest, WriteRightWalksFilesWhileSubfoldersKeepTheirOwn) {
  m_->nPermissions = Permission::kFileRead | Permission::kFileWrite;
  synced("docs/w", "Docs/w", "", true);
  synced("docs/w/f.txt", "Docs/w/f.txt", "f");
  synced("docs/w/plain", "Docs/w/plain", "", true);
  synced("docs/w/plain/g.txt", "Docs/w/plain/g.txt", "g");
  synced("docs/w/own", "Docs/w/own", "", true);
  synced("docs/w/own/h.txt", "Docs/w/own/h.txt", "h");
  m_->syncdb().update_property("docs/w", R"({"permisson":["file_read"]})");
  m_->syncdb().update_property("docs/w/own", R"({"permisson":["file_read","file_write"]})");
  writeLocal("Outside/t.txt", "target");
  fs::permissions(local("Outside/t.txt"), fs::perms(0644));
  fs::create_symlink(local("Outside/t.txt"), local("Docs/w/link.txt"));
  stored("docs/w/link.txt", SyncStatus::kSynced);

  m_->setNormalFilePropertyLower("docs/w", false);
  EXPECT_EQ(mode(local("Docs/w/f.txt")), 0444U);
  EXPECT_EQ(mode(local("Docs/w/plain/g.txt")), 0444U);  // its folder's right: refused above
  EXPECT_EQ(mode(local("Docs/w/own/h.txt")), 0644U);    // its folder grants writing
  EXPECT_EQ(mode(local("Outside/t.txt")), 0644U);       // a link's target is not changed
  EXPECT_NE(mode(local("Docs/w")) & 0200, 0U);          // folders keep their flags

  m_->setNormalFilePropertyLower("docs/w", true);
  EXPECT_EQ(mode(local("Docs/w/f.txt")), 0644U);
}

}  // namespace
}  // namespace nb
