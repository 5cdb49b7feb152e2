#include "sync/links/LibraryPaths.h"

#include <filesystem>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "stores/syncdb/Syncdb.h"
#include "support/FakeAppState.h"
#include "support/TempHome.h"
#include "sync/links/LinkFolder.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class LibraryPathsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    UserData::Options options;
    options.home = home();
    options.computerid = "computer-1";
    user = std::make_unique<UserData>(std::move(options));
    user->setUserID(7);
  }
  void TearDown() override {
    store.reset();
    user.reset();
    TempHome::TearDown();
  }
  std::string userFolder() const { return (home() / ".veskocfg" / "7").string(); }
  std::string syncFolder() const { return (home() / "NubrenVesko").string(); }

  test::ScopedAppState app;
  std::unique_ptr<UserData> user;
  std::unique_ptr<Syncdb> store;
};

TEST_F(LibraryPathsTest, LibraryFolderIsMadeOnRequest) {
  EXPECT_EQ(links::getsyncdbpath(*user, 12), userFolder() + "/12/vesyncdbex3.db");
  EXPECT_TRUE(fs::is_directory(userFolder() + "/12"));
  EXPECT_EQ(links::getsynctranscachepath(*user, 13), userFolder() + "/13/cache");
  EXPECT_TRUE(fs::is_directory(userFolder() + "/13"));
}

TEST_F(LibraryPathsTest, ProposedFolderIsTheOldLinkElseTheDefault) {
  store = Syncdb::initpath(links::getsyncdbpath(*user, 12));
  ASSERT_TRUE(store);
  EXPECT_EQ(links::gGetNormalSyncPath(*user, store.get(), "Finance", "docs/q1"),
            syncFolder() + "/Finance/docs/q1");
  EXPECT_EQ(links::gGetNormalSyncPath(*user, store.get(), "Finance", ""),
            syncFolder() + "/Finance");
  // Linked once, then unlinked: the old folder is proposed again.
  const LinkFolderNode old{"docs/q1", "/data/Q1", true, 2};
  ASSERT_TRUE(store->add_link(old));
  ASSERT_TRUE(store->add_oldlink(old));
  store->remove_link("docs/q1", true);
  EXPECT_EQ(links::gGetNormalSyncPath(*user, store.get(), "Finance", "docs/q1"), "/data/Q1");
  // Names and paths from outside stay inside the default folder.
  EXPECT_EQ(links::gGetNormalSyncPath(*user, nullptr, "Team/..", "a"), syncFolder() + "/Team_../a");
  EXPECT_EQ(links::gGetNormalSyncPath(*user, nullptr, "..", ""), syncFolder() + "/_");
  EXPECT_EQ(links::gGetNormalSyncPath(*user, nullptr, "Finance", "../../x"), "");
}

TEST_F(LibraryPathsTest, CheckEmptyForFoldersAndFiles) {
  const fs::path linked = root() / "Docs";
  fs::create_directories(linked);
  std::ofstream(linked / "here.txt") << "x";
  LinkFolder folderLinks;
  folderLinks.addNode(LinkFolderNode{"docs", linked.string(), true, 2});

  EXPECT_EQ(links::gCheckEmpty(folderLinks, "docs", true), "0");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "docs/sub", true), "0");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "other", true), "1");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "docs/here.txt", false), "0");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "DOCS/HERE.TXT", false), "0");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "docs/gone.txt", false), "1");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "other/here.txt", false), "1");
  EXPECT_EQ(links::gCheckEmpty(folderLinks, "docs/../Docs/here.txt", false), "1");
}

}  // namespace
}  // namespace nb
