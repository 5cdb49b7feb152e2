#include "stores/catalogue/DelaySyncFile.h"

#include <map>

#include <gtest/gtest.h>

#include "support/ManualClock.h"

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

TEST(DelaySyncFileTest, UploadWaitsForTheDelayAfterTheServerChange) {
  auto clock = std::make_shared<test::ManualClock>(1'700'000'000);
  test::ScopedClockOverride override(clock);
  const uint64_t now = clock->wallSeconds();
  DelaySyncFile list;
  list.addNode(std::string_view(R"({"dwg":300,"psd":600})"));
  list.addNode(std::string_view(R"({"dwg":0})"));  // the first entry decides

  struct CheckCase {
    const char* path;
    uint64_t changed;
    bool goes;
    uint64_t after;  // the time after the check
  };
  const CheckCase cases[] = {
      {"plans/house.dwg", now - 100, false, now + 200},
      {"plans/plan.DWG", now - 100, false, now + 200},
      {"plans/house.dwg", now - 300, true, now - 300},
      {"plans/house.dwg", now - 299, false, now + 1},
      {"plans/plandwg", now, true, now},
      {"art/cover.psd", now - 100, false, now + 500},
      {"notes.txt", now, true, now},
  };
  for (const CheckCase& c : cases) {
    uint64_t time = c.changed;
    EXPECT_EQ(list.checkFile(c.path, time), c.goes) << c.path;
    EXPECT_EQ(time, c.after) << c.path;
  }
}

TEST(DelaySyncFileTest, SettingsReplaceTheListAsAWhole) {
  DelaySyncFile list;
  list.addNode(std::string_view(R"({"old":5})"));
  SettingItem delay{std::string(SettingItem::kDelaySyncFile), 1, R"({"dwg":300})"};
  SettingItem more{std::string(SettingItem::kDelaySyncFile), 1, R"({"psd":"600"})"};
  SettingItem other{"ignore", 1, R"({"tmp":1})"};
  list.replaceWithSettings({delay, other, more});
  const auto nodes = list.nodes();
  ASSERT_EQ(nodes.size(), 2u);
  EXPECT_EQ(nodes[0].ext, "dwg");
  EXPECT_EQ(nodes[1].ext, "psd");
  EXPECT_EQ(nodes[1].delay, 600);
}

}  // namespace
}  // namespace nb
