#include <filesystem>

#include <gtest/gtest.h>

#include "foundation/sqlite/FMDatabase.h"
#include "foundation/sqlite/FMResultSet.h"
#include "stores/localstorage/LocalStorage.h"
#include "support/ManualClock.h"
#include "support/TempHome.h"

namespace nb {
namespace {

class LocalStorageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::makeTempDir("localstorage");
    store_ = std::make_unique<LocalStorage>(path());
  }
  void TearDown() override {
    store_.reset();
    std::filesystem::remove_all(dir_);
  }
  std::string path() const { return (dir_ / "velocalstorage3.db").string(); }
  std::int64_t timeOf(const std::string& key) {
    std::int64_t time = -1;
    store_->inDatabase([&](FMDatabase& db) {
      auto set = db.executeQuery("select time from localstorage where key=?", {key});
      if (set && set->next()) time = set->longForColumnIndex(0);
      if (set) set->close();
    });
    return time;
  }
  std::int64_t rows() {
    std::int64_t n = -1;
    store_->inDatabase([&](FMDatabase& db) {
      auto set = db.executeQuery("select count(*) from localstorage");
      if (set && set->next()) n = set->longForColumnIndex(0);
      if (set) set->close();
    });
    return n;
  }

  std::shared_ptr<test::ManualClock> clock_ = std::make_shared<test::ManualClock>(1'000'000);
  test::ScopedClockOverride override_{clock_};
  std::filesystem::path dir_;
  std::unique_ptr<LocalStorage> store_;
};

TEST_F(LocalStorageTest, SettingTwiceKeepsOneRowWithNewerValueAndTime) {
  store_->insertItem("k", "first");
  EXPECT_EQ(timeOf("k"), 1'000'000);
  clock_->advance(std::chrono::seconds(5));
  store_->insertItem("k", "second");
  EXPECT_EQ(store_->getItem("k"), "second");
  EXPECT_EQ(timeOf("k"), 1'000'005);
  EXPECT_EQ(rows(), 1);
}

TEST_F(LocalStorageTest, TextsComeBackUnchanged) {
  for (const std::string text : {"it's", "a'; drop table localstorage; --", "%_", "",
                                 "\xE4\xB8\xAD\xE6\x96\x87", "line\nbreak"}) {
    store_->insertItem(text, text + "!");
    EXPECT_EQ(store_->getItem(text), text + "!") << text;
  }
  EXPECT_EQ(store_->getItem("never set"), "");
}

TEST_F(LocalStorageTest, DeleteLikeKeyTakesOnlyThatUsersKeys) {
  for (const char* key : {"12.a", "12.settings", "12.", "123.a", "12a", "1.2", "x12.a"}) {
    store_->insertItem(key, "v");
  }
  store_->deleteLikeKey(12);
  for (const char* gone : {"12.a", "12.settings", "12."}) EXPECT_EQ(store_->getItem(gone), "") << gone;
  for (const char* kept : {"123.a", "12a", "1.2", "x12.a"}) EXPECT_EQ(store_->getItem(kept), "v") << kept;
}

TEST_F(LocalStorageTest, DeletesAndClears) {
  store_->insertItem("a", "1");
  store_->deleteItem("missing");
  EXPECT_EQ(rows(), 1);
  store_->deleteItem("a");
  EXPECT_EQ(store_->getItem("a"), "");

  store_->insertItem("old", "1");
  clock_->advance(std::chrono::seconds(604800));
  store_->insertItem("new", "2");
  clock_->advance(std::chrono::seconds(1));
  store_->clearTime();
  EXPECT_EQ(store_->getItem("old"), "");
  EXPECT_EQ(store_->getItem("new"), "2");
  store_->clearAll();
  EXPECT_EQ(rows(), 0);
}

TEST_F(LocalStorageTest, ValuesSurviveReopening) {
  store_->insertItem("k", "v");
  store_ = std::make_unique<LocalStorage>(path());
  EXPECT_EQ(store_->getItem("k"), "v");
}

}  // namespace
}  // namespace nb
