// Cache-mode folders switched on and off, their content directories and
// copies, and the saving of unchanged local files into the content cache.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/SyncCache.h"
#include "stores/syncdb/SyncStatus.h"
#include "stores/transfer/TransPortDB.h"
#include "support/SyncWorld.h"
#include "sync/centre/SyncManager.h"
#include "sync/centre/SyncStates.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 50;

class CacheModeTest : public test::SyncWorld {
 protected:
  void SetUp() override {
    SyncWorld::SetUp();
    for (int i = 0; i < kFiles; ++i) putServerFile(name(i), "content " + std::to_string(i));
    writeLocal("Mine/keep.txt", "the user's own");
    runCoordinatorPass();
    m_ = manager();
    ASSERT_TRUE(m_);
  }
  void TearDown() override {
    m_.reset();
    SyncWorld::TearDown();
  }

  static std::string name(int i) { return "media/f" + std::to_string(i) + ".txt"; }

  // A copy as a finished download leaves it in a content directory.
  static std::string putCopy(const std::string& dir, const std::string& bytes) {
    const std::string hash = sha1HexDigest(bytes);
    const fs::path copy = fs::path(dir) / hash.substr(0, 2) / hash;
    fs::create_directories(copy.parent_path());
    std::ofstream(copy) << bytes;
    return hash;
  }
  static bool holds(const std::string& dir, const std::string& hash) {
    return fs::exists(fs::path(dir) / hash.substr(0, 2) / hash);
  }
  std::string contentDir(const std::string& webpath) {
    return m_->cachefolder().getFullPathByWebPath(webpath);
  }
  size_t downloadsInto(const std::string& dir) {
    size_t n = 0;
    for (int i = 0; i < kFiles; ++i) {
      if (TransPortDB::shareTransPortDB().Get_Download(kMountId, name(i)).strFullpath.starts_with(dir + "/")) ++n;
    }
    return n;
  }

  std::shared_ptr<SyncManager> m_;
};

TEST_F(CacheModeTest, SwitchingOnFetchesIntoANewDirectoryTakingInOlderCopies) {
  m_->set_cache("media/old", 1);
  const std::string older = contentDir("media/old");
  const std::string kept = putCopy(older, "an earlier copy");
  clock().advance(std::chrono::seconds(2));

  m_->set_cache("media", 1);
  const std::string dir = contentDir("media");
  ASSERT_NE(dir, older);
  EXPECT_EQ(fs::path(dir).parent_path(),
            fs::path(UserData::shareUserData().getuserfolderpath()) / std::to_string(kMountId));
  // One entry, the parent's, holding the subfolder's former copies.
  ASSERT_EQ(m_->cachefolder().getCacheNodes().size(), 1U);
  ASSERT_EQ(m_->syncdb().get_caches().size(), 1U);
  EXPECT_EQ(m_->syncdb().get_caches()[0].strWebPath, "media");
  EXPECT_TRUE(holds(dir, kept));
  EXPECT_FALSE(fs::exists(older));

  runComparePass();
  EXPECT_EQ(downloadsInto(dir), static_cast<size_t>(kFiles));
  EXPECT_EQ(readLocal("Mine/keep.txt"), "the user's own");
}

TEST_F(CacheModeTest, SwitchingTwiceWithinOneSecondKeepsTheCopies) {
  m_->set_cache("media", 1);
  const std::string dir = contentDir("media");
  const std::string hash = putCopy(dir, "content 1");
  m_->set_cache("media", 1);
  EXPECT_EQ(contentDir("media"), dir);
  EXPECT_TRUE(holds(dir, hash));
  EXPECT_EQ(m_->cachefolder().getCacheNodes().size(), 1U);
}

TEST_F(CacheModeTest, SwitchingOffDeletesCopiesAndEveryRecordBelow) {
  m_->set_cache("media", 1);
  runComparePass();
  const std::string dir = contentDir("media");
  ASSERT_EQ(downloadsInto(dir), static_cast<size_t>(kFiles));
  TransPortDB& trans = TransPortDB::shareTransPortDB();
  const TransportItem done = trans.Get_Download(kMountId, name(0));
  trans.Update_DownloadFinish(done.nIndex);
  putCopy(dir, "content 0");
  TransportItem outside;
  outside.nMountid = kMountId;
  outside.strWebpath = "elsewhere.txt";
  outside.strFullpath = local("Mine/elsewhere.txt").string();
  outside.nStatus = 2;
  trans.Add_Download(outside);
  network().clear();

  m_->set_cache("media", 0);
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_TRUE(m_->cachefolder().getCacheNodes().empty());
  EXPECT_TRUE(m_->syncdb().get_caches().empty());
  EXPECT_EQ(downloadsInto(dir), 0U);
  EXPECT_EQ(trans.Get_Download(kMountId, name(0)).nIndex, 0);  // finished too
  EXPECT_NE(trans.Get_Download(kMountId, "elsewhere.txt").nIndex, 0);
  EXPECT_EQ(network().count("ClearTrans"), 1U);
  EXPECT_EQ(readLocal("Mine/keep.txt"), "the user's own");
}

TEST_F(CacheModeTest, LinkingTheFolderMovesItsCopiesIntoTheGeneralCache) {
  m_->set_cache("media/a", 1);
  m_->set_cache("media/b", 1);
  const std::string a = contentDir("media/a");
  const std::string b = contentDir("media/b");
  const std::string ha = putCopy(a, "copy a");
  const std::string hb = putCopy(b, "copy b");

  m_->add_link("media", local("Media").string(), false, LinkType::kSync);
  EXPECT_TRUE(m_->cachefolder().getCacheNodes().empty());
  EXPECT_TRUE(m_->syncdb().get_caches().empty());
  EXPECT_FALSE(fs::exists(a));
  EXPECT_FALSE(fs::exists(b));
  const std::string general = UserData::shareUserData().getcache();
  EXPECT_TRUE(holds(general, ha));
  EXPECT_TRUE(holds(general, hb));
  EXPECT_EQ(readLocal("Mine/keep.txt"), "the user's own");
}

TEST_F(CacheModeTest, LookupsByWebPath) {
  m_->set_cache("media", 1);
  const std::string dir = contentDir("media");
  const std::string hash(40, 'a');
  EXPECT_EQ(m_->cachefolder().getNormalPathByWebPath("MEDIA/x.txt", hash), dir + "/aa/" + hash);
  EXPECT_EQ(m_->cachefolder().getNormalPathByWebPath("media/x.txt", std::string(39, 'a')), "");
  EXPECT_EQ(m_->cachefolder().getNormalPathByWebPath("media/x.txt", std::string(41, 'a')), "");
  EXPECT_EQ(m_->cachefolder().getNormalPathByWebPath("mediax/x.txt", hash), "");
  EXPECT_EQ(m_->cachefolder().checkByWebPath("media"), 1);
  EXPECT_EQ(m_->cachefolder().checkByWebPath("media/x"), 2);
  EXPECT_EQ(m_->cachefolder().checkByWebPath("other"), 0);
  EXPECT_EQ(contentDir("other"), "");

  m_->set_cache("media", 0);
  m_->set_cache("", 1);
  for (const char* webpath : {"", "media", "a/b"}) {
    EXPECT_EQ(m_->cachefolder().checkByWebPath(webpath), 2) << webpath;
  }
}

TEST_F(CacheModeTest, SavingALocalFolderCopiesOnlyUnchangedFiles) {
  m_->add_link("docs", local("Docs").string(), false, LinkType::kSync);
  const auto stored = [&](const std::string& webpath, const std::string& relative,
                          const std::string& bytes) {
    writeLocal(relative, bytes);
    SyncFileItem row;
    row.strWebPath = webpath;
    row.nStatus = SyncStatus::kSynced;
    row.strFileHash = sha1HexDigest(bytes);
    row.ullFileSize = bytes.size();
    row.ullLastTime = Util::filemodifytime(local(relative).string());
    row.nUpID = m_->getFileUpID(webpath);
    m_->syncdb().add_new_file(row);
    return row.strFileHash;
  };
  const std::string same = stored("docs/sub/same.txt", "Docs/sub/same.txt", "unchanged");
  const std::string edited = stored("docs/edited.txt", "Docs/edited.txt", "as synced");
  writeLocal("Docs/edited.txt", "edited since");
  const std::string hidden = stored("docs/.hidden", "Docs/.hidden", "ignored name");
  writeLocal("Mine/target.txt", "outside the link");
  fs::create_symlink(local("Mine"), local("Docs/link"));

  m_->movetocache(local("Docs").string());
  SyncCache& cache = SyncCache::shareSyncCache();
  EXPECT_NE(cache.getFullPathByFileHash(same), "");
  EXPECT_EQ(cache.getFullPathByFileHash(edited), "");
  EXPECT_EQ(cache.getFullPathByFileHash(sha1HexDigest("edited since")), "");
  EXPECT_EQ(cache.getFullPathByFileHash(hidden), "");
  EXPECT_EQ(cache.getFullPathByFileHash(sha1HexDigest("outside the link")), "");
  EXPECT_EQ(readLocal("Docs/sub/same.txt"), "unchanged");
}

}  // namespace
}  // namespace nb
