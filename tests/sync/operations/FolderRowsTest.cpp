// Folder rows with parent ids, and the first listing of a folder a page
// opens, against the fake service.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "api/calls/HTTPEngine.h"
#include "foundation/text/StringHelpers.h"
#include "stores/syncdb/SyncStatus.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"

namespace nb {
namespace {

class FolderRowsTest : public test::SyncWorld {
 protected:
  void startManager() {
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
  }

  void addRow(const std::string& webpath, int64_t status, bool dir = false) {
    SyncFileItem row;
    row.strWebPath = webpath;
    row.bDir = dir;
    row.nUpID = m_->getFileUpID(webpath);
    row.nStatus = status;
    ASSERT_GT(m_->syncdb().add_new_file(row), 0);
  }

  std::shared_ptr<SyncManager> m_;
};

TEST_F(FolderRowsTest, MissingParentsAreMadeTopDownAsServerOnlyFolders) {
  startManager();
  const int64_t upid = m_->getFileUpID("a/b/c.txt");
  const SyncFileItem a = m_->syncdb().get_single_file("a");
  const SyncFileItem b = m_->syncdb().get_single_file("a/b");
  EXPECT_EQ(a.nStatus, SyncStatus::kServerOnly);
  EXPECT_TRUE(a.bDir);
  EXPECT_EQ(a.nUpID, 0);
  EXPECT_EQ(b.nStatus, SyncStatus::kServerOnly);
  EXPECT_EQ(b.nUpID, a.nID);
  EXPECT_EQ(upid, b.nID);
  // The top level has no parent row, and a known parent is not made twice.
  EXPECT_EQ(m_->getFileUpID("top.txt"), 0);
  EXPECT_EQ(m_->getFileUpID("a/b/d.txt"), b.nID);
  EXPECT_EQ(storeRows().size(), 2U);
}

// The sweep takes only rows the listing stands for: pending local work,
// local deletions and server deletions awaiting the commit stay.
TEST_F(FolderRowsTest, FirstListingSweepsOnlyRowsTheServerNoLongerHas) {
  putServerFile("docs/kept.txt", "kept");
  putServerFile("docs/new.txt", "new");
  addServerFolder("docs/newdir");
  startManager();
  addRow("docs", SyncStatus::kServerOnly, true);
  addRow("docs/kept.txt", SyncStatus::kServerOnly);
  addRow("docs/gone.txt", SyncStatus::kServerOnly);
  addRow("docs/gone-synced.txt", SyncStatus::kSynced);
  addRow("docs/upload.txt", SyncStatus::kUploadPending);
  addRow("docs/deleted.txt", SyncStatus::kDeletedLocally);
  addRow("docs/removed.txt", SyncStatus::kRemovedOnServer);
  addRow("docs/reupload.txt", SyncStatus::kReupload);

  m_->firstCompareFileList("docs", true);

  const test::Rows rows = storeRows();
  for (const char* kept : {"docs/kept.txt", "docs/upload.txt", "docs/deleted.txt",
                           "docs/removed.txt", "docs/reupload.txt"}) {
    EXPECT_EQ(rows.count(kept), 1U) << kept;
  }
  EXPECT_EQ(rows.count("docs/gone.txt"), 0U);
  EXPECT_EQ(rows.count("docs/gone-synced.txt"), 0U);
  // Outside the linked folders the new items are kept on the server only.
  EXPECT_EQ(rows.at("docs/new.txt").status, SyncStatus::kServerOnly);
  EXPECT_EQ(rows.at("docs/newdir").status, SyncStatus::kServerOnly);
  EXPECT_EQ(rows.at("docs/kept.txt").status, SyncStatus::kServerOnly);
  EXPECT_TRUE(m_->markgetfilelist().checkNodeByWebPath("docs"));
  EXPECT_GE(app_->count("setAllCustomEvent"), 1U);
}

TEST_F(FolderRowsTest, ListedItemsInsideALinkAreFetched) {
  linkFolder("docs", "Docs");
  // The server's items arrive after the first pass, so that only the
  // listing brings them.
  startManager();
  putServerFile("docs/a.txt", "alpha");
  addServerFolder("docs/sub");
  addRow("docs", SyncStatus::kSynced, true);

  m_->firstCompareFileList("docs", false);

  const test::Rows rows = storeRows();
  EXPECT_EQ(rows.at("docs/a.txt").status, SyncStatus::kDownloadPending);
  EXPECT_EQ(rows.at("docs/sub").status, SyncStatus::kSynced);
  EXPECT_TRUE(std::filesystem::is_directory(local("Docs/sub")));
  EXPECT_FALSE(m_->markgetfilelist().checkNodeByWebPath("docs"));
}

// A listing as long as the server's limit may have been cut: nothing of the
// folder is swept then.
TEST_F(FolderRowsTest, ListingOfTheLimitSweepsNothing) {
  addServerFolder("big");
  for (int64_t i = 0; i < HTTPEngine::kFileListSize; ++i) {
    ASSERT_EQ(tree().putFile("big/f" + std::to_string(i), sha1HexDigest("x"), 1, user_.member()),
              test::FakeTreeError::None);
  }
  startManager();
  addRow("big", SyncStatus::kServerOnly, true);
  addRow("big/unlisted.txt", SyncStatus::kServerOnly);

  m_->firstCompareFileList("big", false);

  const test::Rows rows = storeRows();
  EXPECT_EQ(rows.count("big/unlisted.txt"), 1U);
  EXPECT_EQ(rows.at("big/unlisted.txt").status, SyncStatus::kServerOnly);
  EXPECT_EQ(rows.size(), static_cast<std::size_t>(HTTPEngine::kFileListSize) + 2);
}

// A listing is outside input: a hostile name becomes no row, and the safe
// items of the same listing still do.
TEST_F(FolderRowsTest, UnsafeListedPathsAreSkipped) {
  addServerFolder("docs");
  startManager();
  addRow("docs", SyncStatus::kServerOnly, true);
  api_.on("POST", "/1/file/ls", [](const test::FakeCall&) {
    nlohmann::json list = nlohmann::json::array();
    for (const char* path : {"docs/../escape.txt", "/etc/passwd", "docs/", "", "docs/ok.txt"}) {
      test::FakeEntry entry;
      entry.fullpath = path;
      entry.filehash = sha1HexDigest("x");
      entry.filesize = 1;
      entry.hash = "0123456789abcdef0123456789abcdef";
      list.push_back(entry.toJson(1));
    }
    return test::FakeReply::json({{"list", list}});
  });

  m_->firstCompareFileList("docs", false);

  const test::Rows rows = storeRows();
  EXPECT_EQ(rows.count("docs/ok.txt"), 1U);
  for (const char* path : {"docs/../escape.txt", "/etc/passwd", "docs/", ""}) {
    EXPECT_EQ(rows.count(path), 0U) << path;
  }
}

}  // namespace
}  // namespace nb
