// The favourites folder's links: the scan, the claim and clean-up, look-up
// and removal.

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "shell/app/FavoriteLinks.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class FavoriteLinksTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    fs::create_directories(folder());
    fs::create_directories(root() / "docs");
    fs::create_directories(root() / "music");
    fs::create_symlink(root() / "docs", folder() / "docs");
    fs::create_symlink(root() / "music", folder() / "music");
    links.setFolder(folder().string());
  }
  fs::path folder() const { return root() / "favourites"; }

  FavoriteLinks links;
};

TEST_F(FavoriteLinksTest, UnclaimedLinksGoAtTheCleanUp) {
  links.initFavoriteScan();
  EXPECT_TRUE(links.initFavoriteFind((root() / "docs").string()));
  EXPECT_FALSE(links.initFavoriteFind((root() / "photos").string()));
  links.initFavoriteClear();
  EXPECT_TRUE(fs::is_symlink(folder() / "docs"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder() / "music")));
  EXPECT_TRUE(fs::is_directory(root() / "music"));  // only the link went
}

TEST_F(FavoriteLinksTest, LookUpAndRemovalGoByTarget) {
  EXPECT_TRUE(links.findFavorite((root() / "music").string()));
  EXPECT_FALSE(links.findFavorite((root() / "none").string()));
  links.deleteFavorite((root() / "music").string());
  EXPECT_FALSE(links.findFavorite((root() / "music").string()));
  EXPECT_TRUE(links.findFavorite((root() / "docs").string()));
  links.setFolder("");
  EXPECT_FALSE(links.findFavorite((root() / "docs").string()));
}

TEST_F(FavoriteLinksTest, ASecondSessionInOneProcessScansAfresh) {
  // First session: both folders synced, nothing goes.
  links.initFavoriteScan();
  EXPECT_TRUE(links.initFavoriteFind((root() / "docs").string()));
  EXPECT_TRUE(links.initFavoriteFind((root() / "music").string()));
  links.initFavoriteClear();
  ASSERT_TRUE(fs::is_symlink(folder() / "docs"));
  ASSERT_TRUE(fs::is_symlink(folder() / "music"));

  // Second sign-in in the same process: only docs is still synced. Its
  // link survives; music's goes.
  links.initFavoriteScan();
  EXPECT_TRUE(links.initFavoriteFind((root() / "docs").string()));
  links.initFavoriteClear();
  EXPECT_TRUE(fs::is_symlink(folder() / "docs"));
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder() / "music")));

  // A third scan finds only docs; claimed again, it stays.
  links.initFavoriteScan();
  EXPECT_TRUE(links.initFavoriteFind((root() / "docs").string()));
  EXPECT_FALSE(links.initFavoriteFind((root() / "music").string()));
  links.initFavoriteClear();
  EXPECT_TRUE(fs::is_symlink(folder() / "docs"));
}

TEST_F(FavoriteLinksTest, ALinkToAFolderIsRemovedAsALinkNeverFollowed) {
  fs::create_directories(root() / "music/album");
  std::ofstream(root() / "music/album/track.mp3") << "x";
  links.initFavoriteScan();
  links.initFavoriteClear();
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder() / "music")));
  EXPECT_TRUE(fs::exists(root() / "music/album/track.mp3"));
  EXPECT_TRUE(fs::exists(root() / "docs"));
}

}  // namespace
}  // namespace nb::test
