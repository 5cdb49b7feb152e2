#include "stores/syncdb/SyncFileItem.h"

#include <gtest/gtest.h>

#include "foundation/json/Json.h"

namespace nb {
namespace {

SyncFileItem sample() {
  SyncFileItem item;
  item.strWebPath = "a/b.txt";
  item.strFileHash = std::string(40, 'f');
  item.ullFileSize = 5'000'000'000;
  item.ullLastTime = 111;
  item.ullWebLastTime = 222;
  item.nLastID = 7;
  item.strLastName = "Ann";
  item.nStatus = 1;
  item.strProperty = R"({"perm":"rw"})";
  return item;
}

TEST(SyncFileItemTest, PageForm) {
  const JsonValue page = sample().convert2dictionary(2, 1, 0, R"([{"id":3}])");
  EXPECT_EQ(page["path"].asString(), "a/b.txt");
  EXPECT_EQ(page["dir"].asInt64(), 0);
  EXPECT_EQ(page["filesize"].asUInt64(), 5'000'000'000u);
  EXPECT_EQ(page["lasttime"].asInt64(), 222);
  EXPECT_EQ(page["property"].asString(), R"({"perm":"rw"})");
  EXPECT_EQ(page["status"].asInt64(), 1);
  EXPECT_EQ(page["have"].asInt64(), 1);
  EXPECT_EQ(page["synctype"].asInt64(), 2);
  EXPECT_EQ(page["sync"].asInt64(), 1);
  EXPECT_EQ(page["iscached"].asInt64(), 0);
  ASSERT_TRUE(page["favorites"].isArray());
  EXPECT_EQ(page["favorites"][0]["id"].asInt64(), 3);
}

struct EdgeCase {
  uint64_t webTime;
  int64_t linkType;
  const char* favorite;
  int64_t lasttime, sync;
  bool hasFavorites;
};

TEST(SyncFileItemTest, PageFormEdges) {
  const EdgeCase cases[] = {
      {0, -1, "", 111, 0, false},
      {222, 0, "not json", 222, 1, false},
      {0, 1, "{}", 111, 1, true},
  };
  for (const auto& c : cases) {
    SyncFileItem item = sample();
    item.ullWebLastTime = c.webTime;
    const JsonValue page = item.convert2dictionary(c.linkType, 0, 1, c.favorite);
    EXPECT_EQ(page["lasttime"].asInt64(), c.lasttime) << c.favorite;
    EXPECT_EQ(page["sync"].asInt64(), c.sync) << c.favorite;
    EXPECT_EQ(page.contains("favorites"), c.hasFavorites) << c.favorite;
  }
}

TEST(SyncFileItemTest, NotFoundRecord) {
  const SyncFileItem item = SyncFileItem::notFound();
  EXPECT_EQ(item.nStatus, -1);
  EXPECT_EQ(item.nID, -1);
  EXPECT_EQ(item.nUpID, -1);
}

TEST(SyncFileItemTest, FeedItemTakesTheRowsFieldsAndKeepsItsOwnCommand) {
  SyncFileItem row = sample();
  row.strUuidHash = "uuid-1";
  row.ullCreatorTime = 99;
  row.nLock = 1;
  row.nLockID = 8;

  CompareItem item;
  item.strWebPathTo = "elsewhere/b.txt";
  item.nCmd = CompareItem::kCmdDelete;
  item.bDir = true;
  row.ChangeToCompareItem(item);

  EXPECT_EQ(item.strHash, "uuid-1");
  EXPECT_EQ(item.strWebPath, "a/b.txt");
  EXPECT_EQ(item.strFileHash, std::string(40, 'f'));
  EXPECT_EQ(item.ullFileSize, 5'000'000'000u);
  EXPECT_EQ(item.ullCreatorTime, 99u);
  EXPECT_EQ(item.ullWebLastTime, 111u);  // the local time, not the row's web time
  EXPECT_EQ(item.nLastMemberID, 7);
  EXPECT_EQ(item.strLastMemberName, "Ann");
  EXPECT_EQ(item.nLock, 1);
  EXPECT_EQ(item.nLockMemberID, 8);
  EXPECT_EQ(item.strPropertys, R"({"perm":"rw"})");
  EXPECT_EQ(item.strWebPathTo, "elsewhere/b.txt");
  EXPECT_EQ(item.nCmd, CompareItem::kCmdDelete);
  EXPECT_TRUE(item.bDir);
}

}  // namespace
}  // namespace nb
