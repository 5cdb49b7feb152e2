#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include "stores/syncdb/SyncdbFixture.h"
#include "support/ManualClock.h"

namespace nb {
namespace {

using test::SyncdbFixture;

class SyncdbLinksTest : public SyncdbFixture {
 protected:
  std::vector<std::string> linkPaths() {
    std::vector<std::string> out;
    for (const auto& node : db->get_links()) out.push_back(node.strWebPath);
    std::sort(out.begin(), out.end());
    return out;
  }
  std::vector<std::string> cachePaths() {
    std::vector<std::string> out;
    for (const auto& item : db->get_caches()) out.push_back(item.strWebPath);
    std::sort(out.begin(), out.end());
    return out;
  }
  void links(std::initializer_list<const char*> webPaths) {
    for (const char* p : webPaths) ASSERT_TRUE(db->add_link({p, std::string("/l/") + p, true, 2}));
  }
  void caches(std::initializer_list<const char*> webPaths) {
    for (const char* p : webPaths) ASSERT_TRUE(db->add_cache({p, std::string("/c/") + p}));
  }
};

TEST_F(SyncdbLinksTest, UpsertsUpdateInPlaceAndKeepStoredCase) {
  ASSERT_TRUE(db->add_link({"Docs/It's", "/home/a", false, 1}));
  ASSERT_TRUE(db->add_link({"DOCS/IT'S", "/home/b", true, 2}));
  auto stored = db->get_links();
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].strWebPath, "Docs/It's");
  EXPECT_EQ(stored[0].strFullPath, "/home/b");
  EXPECT_TRUE(stored[0].bDir);
  EXPECT_EQ(stored[0].nType, 2);

  ASSERT_TRUE(db->add_cache({"Cache", "/x"}));
  ASSERT_TRUE(db->add_cache({"cache", "/y"}));
  auto cached = db->get_caches();
  ASSERT_EQ(cached.size(), 1u);
  EXPECT_EQ(cached[0].strWebPath, "Cache");
  EXPECT_EQ(cached[0].strFullPath, "/y");
}

TEST_F(SyncdbLinksTest, RemoveSameOrWithSubtree) {
  links({"", "A", "A/x", "A/x/y", "AB", "A_", "a%"});
  db->remove_link("A", true);
  EXPECT_EQ(linkPaths(), (std::vector<std::string>{"", "A/x", "A/x/y", "AB", "A_", "a%"}));
  db->remove_link("a", false);
  EXPECT_EQ(linkPaths(), (std::vector<std::string>{"", "AB", "A_", "a%"}));
  // "%" and "_" are no wildcards, and the whole-library link has no subtree.
  db->remove_link("A_", false);
  db->remove_link("", false);
  EXPECT_EQ(linkPaths(), (std::vector<std::string>{"AB", "a%"}));

  caches({"C", "C/d", "CD"});
  db->remove_cache("c", false);
  EXPECT_EQ(cachePaths(), (std::vector<std::string>{"CD"}));
}

TEST_F(SyncdbLinksTest, RenameMovesRowAndSubtree) {
  links({"A", "A/x", "AB"});
  EXPECT_TRUE(db->rename_link("a", "B"));
  EXPECT_EQ(linkPaths(), (std::vector<std::string>{"AB", "B", "B/x"}));
  // Nothing to move still answers that the statement ran.
  EXPECT_TRUE(db->rename_link("none", "other"));
  // A move below itself renames each row once.
  EXPECT_TRUE(db->rename_link("B", "B/in"));
  EXPECT_EQ(linkPaths(), (std::vector<std::string>{"AB", "B/in", "B/in/x"}));

  caches({"C", "C/d"});
  EXPECT_TRUE(db->rename_cache("C", "E"));
  EXPECT_EQ(cachePaths(), (std::vector<std::string>{"E", "E/d"}));
}

TEST_F(SyncdbLinksTest, FormerLinksKeepTheirTime) {
  auto clock = std::make_shared<test::ManualClock>(1'600'000'000);
  test::ScopedClockOverride useClock(clock);
  EXPECT_EQ(db->get_oldlink("never"), "");

  ASSERT_TRUE(db->add_oldlink({"A", "/home/a", true, 2}));
  EXPECT_EQ(db->get_oldlink("a"), "/home/a");
  EXPECT_EQ(scalar("select dateline from OLDLINKNODE where webpath='A'"), 1'600'000'000);

  ASSERT_TRUE(db->add_oldlink({"a", "/home/b", true, 2}, 0));
  EXPECT_EQ(db->get_oldlink("A"), "/home/b");
  EXPECT_EQ(scalar("select dateline from OLDLINKNODE where webpath='A'"), 0);
  EXPECT_EQ(scalar("select count(*) from OLDLINKNODE"), 1);
}

}  // namespace
}  // namespace nb
