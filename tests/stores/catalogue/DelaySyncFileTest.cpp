#include "stores/catalogue/DelaySyncFile.h"

#include <map>

#include <gtest/gtest.h>

namespace nb {
namespace {

struct DelayCase {
  const char* json;
  size_t entries;
};

TEST(DelaySyncFileTest, OnlyAJsonObjectAddsEntries) {
  const DelayCase cases[] = {
      {R"({"psd":60,"mp4":"3000000000"})", 2},
      {R"({})", 0},
      {R"([{"psd":60}])", 0},
      {R"("psd")", 0},
      {"psd:60", 0},
      {R"({"psd":60)", 0},
      {"", 0},
  };
  for (const auto& c : cases) {
    DelaySyncFile list;
    list.addNode(std::string_view(c.json));
    EXPECT_EQ(list.nodes().size(), c.entries) << c.json;
  }
}

TEST(DelaySyncFileTest, DelaysReadAsSixtyFourBits) {
  DelaySyncFile list;
  list.addNode(std::string_view(R"({"psd":60,"mp4":"3000000000"})"));
  list.addNode(DelaySyncItem{"raw", 5});
  auto nodes = list.nodes();
  ASSERT_EQ(nodes.size(), 3u);
  std::map<std::string, int64_t> byExt;
  for (const auto& n : nodes) byExt[n.ext] = n.delay;
  EXPECT_EQ(byExt["psd"], 60);
  EXPECT_EQ(byExt["mp4"], 3'000'000'000);
  EXPECT_EQ(byExt["raw"], 5);
  list.clear();
  EXPECT_TRUE(list.nodes().empty());
}

}  // namespace
}  // namespace nb
