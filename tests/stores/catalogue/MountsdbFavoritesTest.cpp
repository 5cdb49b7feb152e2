#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "foundation/sqlite/SqlTestSupport.h"
#include "stores/catalogue/MountsdbFixture.h"
#include "support/FakeAppState.h"

namespace nb {
namespace {

using MountsdbFavorites = test::MountsdbFixture;

MagicItem magic(std::int64_t id, std::int64_t type, std::string name, std::string color) {
  MagicItem item;
  item.nID = id;
  item.nType = type;
  item.strName = std::move(name);
  item.strColor = std::move(color);
  return item;
}

// The events the fake received as (name, parsed detail).
std::vector<std::pair<std::string, nlohmann::json>> events(const test::ScopedAppState& app) {
  std::vector<std::pair<std::string, nlohmann::json>> out;
  for (const PageEvent& event : app->pageEvents()) {
    out.emplace_back(event.name(), nlohmann::json::parse(event.detail()));
  }
  return out;
}

nlohmann::json detail(std::int64_t id, std::int64_t type, const char* name, const char* color) {
  return {{"id", id}, {"type", type}, {"name", name}, {"color", color}};
}

TEST_F(MountsdbFavorites, ReconciliationAddsNewRemovesGoneAndLeavesEqualGroups) {
  store->addMagic(magic(1, 0, "Work", "#ff0000"));
  store->addMagic(magic(2, 1, "Home", "#00ff00"));
  test::ScopedAppState app;

  store->updateAllMagic({magic(1, 0, "Work", "#ff0000"), magic(3, 2, "New", "")});

  EXPECT_EQ(events(app), (std::vector<std::pair<std::string, nlohmann::json>>{
                             {"AddMagicObject", detail(3, 2, "New", "")},
                             {"RemoveMagicObject", detail(2, 1, "Home", "#00ff00")}}));
  EXPECT_EQ(rows("select * from FAVORITESINFO order by id;"),
            (std::vector<std::string>{"1|0|Work|#ff0000", "3|2|New|"}));
  for (const MagicItem& stored : store->getMagics()) EXPECT_TRUE(stored.bRemove);
}

TEST_F(MountsdbFavorites, ReconciliationComparesNameAndColourExactly) {
  struct Case {
    const char* what;
    MagicItem server;
  };
  const Case cases[] = {
      {"colour case", magic(1, 0, "Work", "#FF0000")},
      {"name case", magic(1, 0, "work", "#ff0000")},
      {"type", magic(1, 5, "Work", "#ff0000")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    store->removeAllMagic();
    store->addMagic(magic(1, 0, "Work", "#ff0000"));
    test::ScopedAppState app;
    store->updateAllMagic({c.server});
    const auto sent = events(app);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].first, "AddMagicObject");
    EXPECT_EQ(sent[0].second, detail(1, c.server.nType, c.server.strName.c_str(),
                                     c.server.strColor.c_str()));
    const auto stored = store->getMagics();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].strName, c.server.strName);
    EXPECT_EQ(stored[0].strColor, c.server.strColor);
    EXPECT_EQ(stored[0].nType, c.server.nType);
  }
}

TEST_F(MountsdbFavorites, AnEmptyServerListRemovesEveryGroup) {
  store->addMagic(magic(1, 0, "a", ""));
  store->addMagic(magic(2, 0, "b", ""));
  test::ScopedAppState app;
  store->updateAllMagic({});
  EXPECT_EQ(app->count("setAllCustomEvent"), 2u);
  for (const auto& [name, data] : events(app)) EXPECT_EQ(name, "RemoveMagicObject");
  EXPECT_TRUE(store->getMagics().empty());
}

// A page that answers each event by reading the groups back, as a page's
// handler may through the bridge: the store must not be held while the
// event runs.
class ReadingPages : public test::FakeAppState {
 public:
  explicit ReadingPages(Mountsdb& store) : store_(store) {}
  void setAllCustomEvent(const PageEvent& event) override {
    FakeAppState::setAllCustomEvent(event);
    groupsSeen.push_back(store_.getMagics().size());
  }
  std::vector<std::size_t> groupsSeen;

 private:
  Mountsdb& store_;
};

TEST_F(MountsdbFavorites, EventsRunOutsideAnyStoreJobAfterTheirWrite) {
  store->addMagic(magic(1, 0, "a", ""));
  auto pages = std::make_shared<ReadingPages>(*store);
  setAppDelegate(pages);
  store->updateAllMagic({magic(2, 0, "b", "")});
  setAppDelegate(nullptr);
  // After the add both groups are there; after the removal one is left.
  EXPECT_EQ(pages->groupsSeen, (std::vector<std::size_t>{2, 1}));
}

FavoritesItem favorite(std::int64_t id, std::int64_t mountId, std::string hash) {
  FavoritesItem item;
  item.nID = id;
  item.nMountID = mountId;
  item.strUuidHash = std::move(hash);
  return item;
}

TEST_F(MountsdbFavorites, BatchSkipsARejectedInsertAfterItsRetriesAndGoesOn) {
  test::SqlLogCapture log;
  store->addFavorites({
      favorite(1, 10, "aa"),
      favorite(1, 10, "aa"),  // already there: no insert
      favorite(2, 10, "aa"),  // same file in a second group
      favorite(1, 20, "AA"),  // same group and hash (case ignored) under another library
      favorite(3, 5'000'000'000, "bb"),
  });
  EXPECT_EQ(rows("select id, mount_id, hash from FAVORITESITEM order by id;"),
            (std::vector<std::string>{"1|10|aa", "2|10|aa", "3|5000000000|bb"}));
  // The rejected insert was retried twice (each retry logs "<sql> <n> 0"),
  // then dropped.
  EXPECT_EQ(log.count("values(?,?,?); 0 0"), 1);
  EXPECT_EQ(log.count("values(?,?,?); 1 0"), 1);
  // The batch committed: the connection is free for the next writer.
  FMDatabase other(path());
  ASSERT_TRUE(other.open());
  EXPECT_TRUE(other.executeUpdate("delete from FAVORITESITEM where id=3;"));
}

TEST_F(MountsdbFavorites, HashesAreBoundNotSpliced) {
  const std::string hostile = "x' or '1'='1";
  store->addFavorites(1, 10, "aa");
  store->addFavorites(2, 10, hostile);
  EXPECT_EQ(store->getTypeForHash(hostile), std::vector<std::int64_t>{2});
  store->removeFavoritesByID(1, hostile);
  store->removefavoritesByMountID(10, hostile);
  EXPECT_EQ(rows("select hash from FAVORITESITEM;"), std::vector<std::string>{"aa"});
}

TEST_F(MountsdbFavorites, LookupsAndRemovals) {
  store->addFavorites({favorite(1, 10, "aa"), favorite(2, 11, "AA"), favorite(2, 11, "bb")});
  EXPECT_EQ(store->getTypeForHash("Aa"), (std::vector<std::int64_t>{1, 2}));
  EXPECT_TRUE(store->getTypeForHash("cc").empty());
  EXPECT_EQ(store->getFavorites(2).size(), 2u);

  store->removeFavoritesByID(2, "BB");
  EXPECT_EQ(store->getFavorites(2).size(), 1u);
  store->removefavoritesByMountID(10, "aa");
  EXPECT_EQ(store->getTypeForHash("aa"), std::vector<std::int64_t>{2});
  store->removeFavorites(2);
  EXPECT_TRUE(store->getFavorites(2).empty());
  store->addFavorites(4, 1, "cc");
  store->removeFavorites();
  EXPECT_TRUE(store->getFavorites(4).empty());
}

TEST_F(MountsdbFavorites, HotFilesMatchTheExactText) {
  EXPECT_FALSE(store->checkHotFile("ab"));
  store->addHotFiles({});
  store->addHotFiles({"ab", "ab", "cd", "x'y"});
  EXPECT_TRUE(store->checkHotFile("ab"));
  EXPECT_FALSE(store->checkHotFile("AB"));
  EXPECT_TRUE(store->checkHotFile("x'y"));
  EXPECT_EQ(store->getHotFiles(), (std::vector<std::string>{"ab", "cd", "x'y"}));
  store->removeHotFiles();
  EXPECT_TRUE(store->getHotFiles().empty());
}

TemplateItem tpl(std::int64_t entId, std::string fullpath, std::string name = "t") {
  TemplateItem item;
  item.nEntID = entId;
  item.nID = entId * 10;
  item.strFullpath = std::move(fullpath);
  item.strName = std::move(name);
  item.strExt = "docx";
  item.strHash = "0123456789abcdef0123456789abcdef01234567";
  item.ullFilesize = 1ULL << 33;
  item.ullTime = 1'700'000'000;
  item.strProperty = "{}";
  return item;
}

TEST_F(MountsdbFavorites, TemplateUpsertIgnoresTheCaseOfThePath) {
  store->addTemplate(tpl(12, "/T/Report.docx", "old"));
  store->addTemplate(tpl(12, "/t/report.DOCX", "new"));
  store->addTemplate(tpl(13, "/t/report.docx"));
  const auto got = store->getTemplates(12);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].strName, "new");
  EXPECT_EQ(got[0].strFullpath, "/T/Report.docx");
  EXPECT_EQ(got[0].ullFilesize, 1ULL << 33);
  EXPECT_EQ(got[0].ullTime, 1'700'000'000u);
  EXPECT_EQ(got[0].nID, 120);
  EXPECT_EQ(store->getTemplates().size(), 2u);
  store->removeTemplate(13, "/T/REPORT.docx");
  EXPECT_EQ(store->getTemplates().size(), 1u);
}

TEST_F(MountsdbFavorites, RemoveTemplatesByListOfEnterpriseIds) {
  struct Case {
    const char* list;
    std::vector<std::string> left;
  };
  const Case cases[] = {
      {"12,,7,0", {"5"}},
      {"", {"0", "5", "7", "12"}},
      {",", {"0", "5", "7", "12"}},
      {"5) or (1=1", {"0", "5", "7", "12"}},
      {"5", {"0", "7", "12"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    store->removeTemplates();
    for (std::int64_t ent : {0, 5, 7, 12}) store->addTemplate(tpl(ent, "/a"));
    store->removeTemplates(c.list);
    EXPECT_EQ(rows("select ent_id from TEMPLATES order by ent_id;"), c.left);
  }
}

}  // namespace
}  // namespace nb
