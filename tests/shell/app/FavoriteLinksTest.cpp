// The favourites folder's links: the scan, the claim and clean-up, look-up
// and removal.

#include <filesystem>

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

}  // namespace
}  // namespace nb::test
