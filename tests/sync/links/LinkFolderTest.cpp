#include "sync/links/LinkFolder.h"

#include <gtest/gtest.h>

#include "sync/centre/SyncStates.h"
#include "sync/links/CacheFolder.h"

namespace nb {
namespace {

TEST(LinkFolderTest, MapsWebPathsThroughTheFirstRulingLink) {
  LinkFolder links;
  links.addNode({"Docs", "/home/u/Docs", true, LinkType::kSync});
  links.addNode({"Photos/2024", "/home/u/P", true, LinkType::kBackup});
  struct Case {
    std::string webpath;
    std::string local;
    int64_t type;
    std::string parent;
  };
  const Case cases[] = {
      {"Docs", "/home/u/Docs", LinkType::kSync, "Docs"},
      {"docs/a.txt", "/home/u/Docs/a.txt", LinkType::kSync, "Docs"},
      {"Docs2/a.txt", "", LinkType::kNone, ""},
      {"Photos/2024/x.jpg", "/home/u/P/x.jpg", LinkType::kBackup, "Photos/2024"},
      {"Photos", "", LinkType::kNone, ""},
  };
  for (const auto& c : cases) {
    std::string parent;
    EXPECT_EQ(links.normalPathByWebPath(c.webpath), c.local) << c.webpath;
    EXPECT_EQ(links.linkTypeByWebPath(c.webpath, &parent), c.type) << c.webpath;
    EXPECT_EQ(parent, c.parent) << c.webpath;
  }
}

TEST(LinkFolderTest, WholeLibraryLinkAndRelinkKeepsOneNode) {
  LinkFolder links;
  links.addNode({"", "/home/u/Lib", true, LinkType::kSync});
  EXPECT_EQ(links.normalPathByWebPath("a/b"), "/home/u/Lib/a/b");
  EXPECT_EQ(links.normalPathByWebPath(""), "/home/u/Lib/");
  std::string parent;
  EXPECT_EQ(links.linkTypeByWebPath("x", &parent), LinkType::kSync);
  EXPECT_EQ(parent, "/");

  links.addNode({"", "/mnt/Lib", true, LinkType::kBackup});
  ASSERT_EQ(links.getLinkNodes().size(), 1U);
  EXPECT_EQ(links.getLinkNodes()[0].strFullPath, "/mnt/Lib");
  EXPECT_EQ(links.getLinkNodes()[0].nType, LinkType::kSync);
}

TEST(CacheFolderTest, ContentPathOnlyInsideWithAFullHash) {
  CacheFolder caches;
  caches.addNodes({{"Docs", "/c/1/aa"}});
  const std::string hash(40, 'b');
  EXPECT_EQ(caches.getNormalPathByWebPath("docs/x.txt", hash), "/c/1/aa/bb/" + hash);
  EXPECT_EQ(caches.getNormalPathByWebPath("docs/x.txt", "short"), "");
  EXPECT_EQ(caches.getNormalPathByWebPath("Other/x.txt", hash), "");
  EXPECT_EQ(caches.checkByWebPath("Docs"), 1);
  EXPECT_EQ(caches.checkByWebPath("Docs/x"), 2);
  EXPECT_EQ(caches.checkByWebPath("Docsx"), 0);
}

}  // namespace
}  // namespace nb
