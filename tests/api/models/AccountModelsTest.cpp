// Answers of the template, setting, hot-file and favourite calls.

#include <gtest/gtest.h>

#include "api/models/RetFavoritesList.h"
#include "api/models/RetHotFileList.h"
#include "api/models/RetSettingList.h"
#include "api/models/RetTemplateDownload.h"
#include "api/models/RetTemplates.h"
#include "foundation/json/Json.h"

namespace nb {
namespace {

JsonValue parse(std::string_view text) { return dictionaryFromString(text).value(); }

TEST(RetTemplatesTest, KeyNamesTheEnterpriseAndNonArraysAreSkipped) {
  RetTemplates ret;
  ret.setValueWithJson(parse(R"({"12":[{"ent_id":99,"id":1,"tpl_name":"a"},{"id":2}],
                                  "13":{"id":3},"14":[]})"));
  ASSERT_EQ(ret.itemlist->size(), 2u);
  EXPECT_EQ(ret.itemlist->at(0).nEntID, 12);
  EXPECT_EQ(ret.itemlist->at(0).strName, "a");
  EXPECT_EQ(ret.itemlist->at(1).nID, 2);
  RetTemplateDownload url;
  url.setValueWithJson(parse(R"({"url":"http://x/t"})"));
  EXPECT_EQ(url.url, "http://x/t");
}

TEST(RetSettingListTest, ListInOrderAndNonObjectsGiveEmptyRecords) {
  RetSettingList ret;
  ret.setValueWithJson(parse(R"({"list":[{"setting":"delay_sync_file","value":1},5]})"));
  ASSERT_EQ(ret.itemlist->size(), 2u);
  EXPECT_EQ(ret.itemlist->at(0).strSetting, "delay_sync_file");
  EXPECT_EQ(ret.itemlist->at(0).strProperty, "");
  EXPECT_EQ(ret.itemlist->at(1).strSetting, "");
}

TEST(RetHotFileListTest, ElementsStayAsTheyCame) {
  RetHotFileList ret;
  ret.setValueWithJson(parse(R"({"list":["a'); DROP TABLE x;--", 7]})"));
  ASSERT_EQ(ret.itemlist->size(), 2u);
  EXPECT_EQ(ret.itemlist->at(0).asString(), "a'); DROP TABLE x;--");
  EXPECT_EQ(ret.itemlist->at(1), JsonValue(7));
  RetHotFileList none;
  EXPECT_FALSE(none.itemlist.has_value());
  none.setValueWithJson(parse(R"({"list":{}})"));
  EXPECT_TRUE(none.itemlist->empty());
}

TEST(RetFavoritesListTest, RecordsFromList) {
  RetFavoritesList ret;
  ret.setValueWithJson(parse(R"({"list":[{"fav_id":1,"mount_id":2,"hash":"h"}]})"));
  ASSERT_EQ(ret.itemlist->size(), 1u);
  EXPECT_EQ(ret.itemlist->at(0).nMountID, 2);
  EXPECT_EQ(ret.itemlist->at(0).strUuidHash, "h");
}

}  // namespace
}  // namespace nb
