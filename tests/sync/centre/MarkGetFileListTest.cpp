#include "sync/centre/MarkGetFileList.h"

#include <gtest/gtest.h>

namespace nb {
namespace {

TEST(MarkGetFileListTest, ExactTextDedupeCaseFreeCheck) {
  MarkGetFileList list;
  list.addNode("Docs");
  list.addNode("Docs");
  EXPECT_EQ(list.nodes().size(), 1U);
  list.addNode("docs");
  EXPECT_EQ(list.nodes().size(), 2U);
  EXPECT_TRUE(list.checkNodeByWebPath("Docs"));
  EXPECT_TRUE(list.checkNodeByWebPath("docs"));
  EXPECT_TRUE(list.checkNodeByWebPath("DOCS"));
  // One folder, not its subtree.
  EXPECT_FALSE(list.checkNodeByWebPath("Docs/sub"));
}

TEST(MarkGetFileListTest, RootOnlyAfterRootListing) {
  MarkGetFileList list;
  list.addNode("Docs");
  EXPECT_FALSE(list.checkNodeByWebPath(""));
  list.addNode("");
  EXPECT_TRUE(list.checkNodeByWebPath(""));
}

TEST(MarkGetFileListTest, AddNodesKeepsOrderAndEmptyChangesNothing) {
  MarkGetFileList list;
  list.addNode("a");
  list.addNodes({});
  EXPECT_EQ(list.nodes(), std::vector<std::string>{"a"});
  list.addNodes({"b", "c"});
  EXPECT_EQ(list.nodes(), (std::vector<std::string>{"a", "b", "c"}));
}

}  // namespace
}  // namespace nb
