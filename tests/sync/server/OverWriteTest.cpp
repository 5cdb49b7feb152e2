#include "sync/server/OverWrite.h"

#include <gtest/gtest.h>

namespace nb {
namespace {

TEST(OverWriteTest, CheckNodeMatchesFoldersAboveIgnoringCase) {
  struct Case {
    const char* entry;
    const char* path;
    bool match;
  };
  const Case cases[] = {
      {"", "any/thing.txt", true},       {"docs", "Docs/a.txt", true},
      {"Docs", "docs", true},            {"doc", "Docs/a.txt", false},
      {"docs/a.txt", "docs/a.txt", true}, {"docs/a", "docs/ab.txt", false},
      {"docs/sub", "docs", false},
  };
  for (const Case& c : cases) {
    OverWrite list;
    list.addNode(c.entry);
    EXPECT_EQ(list.checkNode(c.path), c.match) << c.entry << " vs " << c.path;
  }
  EXPECT_FALSE(OverWrite().checkNode("docs"));
}

TEST(OverWriteTest, AddKeepsOneOfEachTextAndRemoveWantsTheExactText) {
  OverWrite list;
  list.addNode("Docs");
  list.addNode("Docs");
  list.addNode("docs");
  EXPECT_EQ(list.nodes().size(), 2U);
  EXPECT_FALSE(list.removeNode("DOCS"));
  EXPECT_TRUE(list.removeNode("Docs"));
  EXPECT_FALSE(list.removeNode("Docs"));
  EXPECT_EQ(list.nodes(), std::vector<std::string>{"docs"});
}

}  // namespace
}  // namespace nb
