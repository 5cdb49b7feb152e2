#include "sync/links/LinkFolder.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sync/centre/SyncStates.h"
#include "sync/links/CacheFolder.h"

namespace nb {
namespace {

using namespace std::string_literals;

LinkFolderNode link(std::string web, std::string full, int64_t type = 2) {
  return LinkFolderNode{std::move(web), std::move(full), true, type};
}

std::vector<std::string> webPaths(const LinkFolder& links) {
  std::vector<std::string> out;
  for (const auto& node : links.getLinkNodes()) out.push_back(node.strWebPath);
  return out;
}

// Local paths here name nothing on disk, so the mapping is the plain text
// rule; the letter-case rule on disk has its own tests.
class LinkFolderTest : public ::testing::Test {
 protected:
  void add(std::vector<LinkFolderNode> nodes) {
    for (auto& node : nodes) ASSERT_TRUE(links.addNode(std::move(node)));
  }
  LinkFolder links;
};

struct MapCase {
  std::string webPath;
  std::string local;  // "" when the path lies in no link
  int64_t type;
};

TEST_F(LinkFolderTest, WebToLocalWithFolderLinks) {
  add({link("docs", "/l/Docs", 2), link("Team/Plans", "/l/plans", 1)});
  const MapCase cases[] = {
      {"docs", "/l/Docs", 2},
      {"Docs/Report.txt", "/l/Docs/Report.txt", 2},
      {"DOCS/Sub/x.TXT", "/l/Docs/Sub/x.TXT", 2},
      {"docs/a/", "/l/Docs/a/", 2},
      {"docs2/a", "", -1},
      {"doc", "", -1},
      {"", "", -1},
      {"team/plans/q1.xls", "/l/plans/q1.xls", 1},
      {"Team", "", -1},
      // Outside input that would climb out of a link is in no link.
      {"docs/../../etc/passwd", "", -1},
      {"docs/./a", "", -1},
      {"docs//a", "", -1},
      {"/docs/a", "", -1},
      {"docs/a\0b"s, "", -1},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.webPath);
    EXPECT_EQ(links.normalPathByWebPath(c.webPath), c.local);
    EXPECT_EQ(links.linkTypeByWebPath(c.webPath), c.type);
    EXPECT_EQ(links.checkLinkByWebPath(c.webPath), c.type != -1);
  }
}

TEST_F(LinkFolderTest, WebToLocalWithAWholeLibraryLink) {
  add({link("", "/l/All", 2)});
  const MapCase cases[] = {
      {"", "/l/All/", 2},
      {"a/b", "/l/All/a/b", 2},
      {"A/B.txt", "/l/All/A/B.txt", 2},
      {"../x", "", -1},
      {"a/../../b", "", -1},
      {"/abs", "", -1},
      {"a\0b"s, "", -1},
      {"..", "", -1},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.webPath);
    EXPECT_EQ(links.normalPathByWebPath(c.webPath), c.local);
    EXPECT_EQ(links.linkTypeByWebPath(c.webPath), c.type);
  }
}

TEST_F(LinkFolderTest, LocalToWeb) {
  add({link("docs", "/l/Docs/"), link("", "/l/All")});
  struct Case {
    std::string local;
    std::string webPath;
  };
  const Case cases[] = {
      {"/l/Docs", "docs"},
      {"/l/Docs/", "docs"},
      {"/l/Docs/Report.txt", "docs/Report.txt"},
      {"/l/Docs/a/b/", "docs/a/b/"},
      {"/l/All", ""},
      {"/l/All/", ""},
      {"/l/All/a/b", "a/b"},
      // Local names are exact: another letter case is another folder.
      {"/l/docs/Report.txt", ""},
      {"/l/all/a", ""},
      // A sibling whose name extends the folder's is not in it.
      {"/l/Docs2/a", ""},
      {"/l/Alloy/a", ""},
      // The whole-library link needs its folder as a prefix.
      {"/elsewhere/file.txt", ""},
      {"/l", ""},
      // A local path that would give an unsafe web path gives none.
      {"/l/All/a/../b", ""},
      {"/l/All//a", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(links.relativeRathByFullPath(c.local), c.webPath) << c.local;
  }
}

TEST_F(LinkFolderTest, FirstMatchingLinkDecides) {
  add({link("a", "/l/A", 1), link("", "/l/All", 2), link("a/b", "/l/B", 2)});
  std::string parent;
  EXPECT_EQ(links.linkTypeByWebPath("a/b/c", &parent), 1);
  EXPECT_EQ(parent, "a");
  EXPECT_EQ(links.normalPathByWebPath("a/b/c"), "/l/A/b/c");
  EXPECT_EQ(links.linkTypeByWebPath("z", &parent), 2);
  EXPECT_EQ(parent, "/");
  EXPECT_EQ(links.normalPathByWebPath("z"), "/l/All/z");
}

TEST_F(LinkFolderTest, LetterCaseOfWebPathsBeyondAscii) {
  // The lower case of "İ" is two code points, longer than the letter itself:
  // the part below the link must still be cut where the link's name ends.
  add({link("i\u0307stanbul", "/l/Ist"), link("Ärger", "/l/Aerger")});
  EXPECT_EQ(links.normalPathByWebPath("\u0130stanbul/a.txt"), "/l/Ist/a.txt");
  EXPECT_EQ(links.normalPathByWebPath("ärger/B"), "/l/Aerger/B");
  EXPECT_EQ(links.relativeRathByFullPath("/l/Ist/a.txt"), "i\u0307stanbul/a.txt");
}

TEST_F(LinkFolderTest, ParentAndInLinkTests) {
  add({link("docs", "/l/Docs")});
  std::string parent;
  EXPECT_TRUE(links.checkLinkByWebPath("docs", &parent));
  EXPECT_EQ(parent, "docs");
  EXPECT_TRUE(links.checkLinkByWebPath("Docs/x", &parent));
  EXPECT_EQ(parent, "docs");
  EXPECT_FALSE(links.checkInLinkByWebPath("docs"));
  EXPECT_TRUE(links.checkInLinkByWebPath("DOCS/x"));
  EXPECT_FALSE(links.checkInLinkByWebPath("docs2/x"));
  EXPECT_TRUE(links.checkSameLinkByWebPath("DOCS"));
  EXPECT_FALSE(links.checkSameLinkByWebPath("docs/x"));

  add({link("", "/l/All")});
  EXPECT_TRUE(links.checkInLinkByWebPath("docs"));
  EXPECT_FALSE(links.checkInLinkByWebPath("../x"));
}

TEST_F(LinkFolderTest, SameLocalFolderIsExact) {
  add({link("Sync", "/l/Sync/")});
  EXPECT_TRUE(links.checkSameLinkByFullPath("/l/Sync"));
  EXPECT_TRUE(links.checkSameLinkByFullPath("/l/Sync/"));
  EXPECT_FALSE(links.checkSameLinkByFullPath("/l/sync"));
  EXPECT_FALSE(links.checkSameLinkByFullPath("/l/Sync/a"));
}

TEST_F(LinkFolderTest, AddingAKnownWebPathReplacesOnlyItsFolder) {
  add({link("docs", "/l/Docs", 2), link("b", "/l/B")});
  ASSERT_TRUE(links.addNode(LinkFolderNode{"DOCS", "/l/Other", false, 1}));
  const auto nodes = links.getLinkNodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].strWebPath, "docs");
  EXPECT_EQ(nodes[0].strFullPath, "/l/Other");
  EXPECT_TRUE(nodes[0].bDir);
  EXPECT_EQ(nodes[0].nType, 2);

  EXPECT_FALSE(links.addNode(link("../up", "/l/Up")));
  EXPECT_FALSE(links.addNode(link("/abs", "/l/Abs")));
  EXPECT_EQ(links.getLinkNodes().size(), 2u);
  EXPECT_TRUE(links.haveNode());
}

TEST_F(LinkFolderTest, RemovingLinks) {
  add({link("a", "/l/1"), link("A/c", "/l/2"), link("ab", "/l/3"), link("a", "/l/4")});
  // addNode kept one "a": the list is a, A/c, ab.
  ASSERT_EQ(webPaths(links), (std::vector<std::string>{"a", "A/c", "ab"}));
  EXPECT_TRUE(links.removeByWebPath("A", true));
  EXPECT_EQ(webPaths(links), (std::vector<std::string>{"A/c", "ab"}));
  EXPECT_FALSE(links.removeByWebPath("a", true));

  add({link("a", "/l/5")});
  EXPECT_TRUE(links.removeByWebPath("a", false));
  EXPECT_EQ(webPaths(links), (std::vector<std::string>{"ab"}));

  add({link("x", "/l/x"), link("x/y", "/l/y"), link("xy", "/l/xy")});
  std::vector<LinkFolderNode> removed;
  EXPECT_TRUE(links.removeByWebPath("X", removed));
  EXPECT_EQ(webPaths(links), (std::vector<std::string>{"ab", "xy"}));
  ASSERT_EQ(removed.size(), 2u);
  EXPECT_EQ(removed[0].strFullPath, "/l/x");
  EXPECT_EQ(removed[1].strFullPath, "/l/y");
  EXPECT_FALSE(links.removeByWebPath("q", removed));
  EXPECT_EQ(removed.size(), 2u);

  links.clear();
  EXPECT_FALSE(links.haveNode());
}

TEST_F(LinkFolderTest, RenamingLinks) {
  add({link("a", "/l/1"), link("A/c", "/l/2"), link("ab", "/l/3")});
  EXPECT_TRUE(links.renameByWebPath("a", "b"));
  EXPECT_EQ(webPaths(links), (std::vector<std::string>{"b", "b/c", "ab"}));
  EXPECT_FALSE(links.renameByWebPath("zz", "y"));
  EXPECT_FALSE(links.renameByWebPath("b", "../b"));
  EXPECT_EQ(webPaths(links), (std::vector<std::string>{"b", "b/c", "ab"}));
}

TEST(LinkFolderBasicsTest, MapsWebPathsThroughTheFirstRulingLink) {
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

TEST(LinkFolderBasicsTest, WholeLibraryLinkAndRelinkKeepsOneNode) {
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
