// Answers of the file calls and of the storage-server session, read from
// fixtures as the service writes them.

#include <gtest/gtest.h>

#include "api/models/RetCatchScreen.h"
#include "api/models/RetCompare.h"
#include "api/models/RetCreateFile.h"
#include "api/models/RetFileList.h"
#include "api/models/RetGetDownload.h"
#include "api/models/RetOpen.h"
#include "api/models/RetRecover.h"
#include "api/models/RetUploadInit.h"
#include "api/models/RetUploadReq.h"
#include "foundation/json/Json.h"
#include "support/FakeAppState.h"

namespace nb {
namespace {

JsonValue parse(std::string_view text) { return dictionaryFromString(text).value(); }

constexpr std::string_view kServers = R"({
  "state": 0, "hash": "u1", "filehash": "f1", "filesize": "12", "last_dateline": 99,
  "uploads": [
    {"hostname": "h", "port": "80", "https": "443", "path": "up"},
    {"hostname": "h2", "port": "8080", "https": "0", "path": ""},
    {"hostname": "", "port": "80", "https": "443"},
    {"hostname": "h3", "port": "0", "https": "8443", "path": "p"}
  ],
  "cache_uploads": {"not": "an array"}})";

TEST(RetCreateFileTest, ServersBecomeUrlsWithASchemeChosenPerServer) {
  test::ScopedAppState app;
  app->setUseHttps(true);
  RetCreateFile ret;
  ret.setValueWithJson(parse(kServers));
  EXPECT_EQ(ret.nState, 0);
  EXPECT_EQ(ret.strHash, "u1");
  EXPECT_EQ(ret.strFileHash, "f1");
  EXPECT_EQ(ret.ullFileSize, 12u);
  EXPECT_EQ(ret.ullLastDateline, 99u);
  EXPECT_EQ(ret.strStoragePoint, "");
  // The second server switches to HTTP for itself only; the empty host is
  // dropped.
  EXPECT_EQ(ret.arrayServers, (std::vector<std::string>{"https://h/up", "http://h2:8080",
                                                         "https://h3:8443/p"}));
  ASSERT_TRUE(ret.arrayCacheServers.has_value());
  EXPECT_TRUE(ret.arrayCacheServers->empty());

  app->setUseHttps(false);
  RetCreateFile plain;
  plain.setValueWithJson(parse(kServers));
  EXPECT_EQ(plain.arrayServers->front(), "http://h/up");
  EXPECT_EQ(plain.arrayServers->back(), "https://h3:8443/p");
}

TEST(RetCreateFileTest, StateOneWithoutUploadsAndUnreadableAnswers) {
  RetCreateFile held;
  held.setValueWithJson(parse(R"({"state":1,"storage_point":"sp"})"));
  EXPECT_EQ(held.nState, RetCreateFile::kStateComplete);
  EXPECT_EQ(held.strStoragePoint, "sp");
  EXPECT_TRUE(held.arrayServers.has_value() && held.arrayServers->empty());

  for (const char* body : {"", "{}", "[1,2]", "nonsense"}) {
    RetCreateFile unread;
    unread.setNStatusCode(200);
    unread.setValueWithData(body);
    EXPECT_EQ(unread.nStatusCode(), RequestRet::kUnreadable) << body;
    EXPECT_FALSE(unread.arrayServers.has_value()) << body;
  }
}

TEST(RetOpenTest, LockHolderOnlyWithALock) {
  RetOpen open;
  open.setValueWithJson(parse(R"({"filehash":"f","hash":"u","filesize":5,"dateline":"7",
                                  "lock":0,"lock_member_id":9,"uris":["a",1]})"));
  EXPECT_EQ(open.nLock, 0);
  EXPECT_EQ(open.nLockID, 0);
  EXPECT_EQ(open.strUuidHash, "u");
  EXPECT_EQ(open.ullDateline, 7u);
  ASSERT_EQ(open.urlArray->size(), 2u);
  EXPECT_EQ((*open.urlArray)[1], JsonValue(1));
  RetOpen locked;
  locked.setValueWithJson(parse(R"({"lock":1,"lock_member_id":"9","uris":{}})"));
  EXPECT_EQ(locked.nLockID, 9);
  EXPECT_TRUE(locked.urlArray->empty());
}

TEST(RetCompareTest, PageCursorAndItemsInOrder) {
  RetCompare page;
  page.setValueWithJson(parse(R"({"version":3,"dateline":1700000000,"id":"42","list":[
      {"fullpath":"a","cmd":-1},{"fullpath":"b","fullpath_to":"c","cmd":0}]})"));
  EXPECT_EQ(page.version, 3);
  EXPECT_EQ(page.dateline, 1700000000u);
  EXPECT_EQ(page.index, 42u);
  EXPECT_EQ(page.changekey, "");
  ASSERT_EQ(page.itemlist->size(), 2u);
  EXPECT_EQ((*page.itemlist)[0].nCmd, CompareItem::kCmdReset);
  EXPECT_EQ((*page.itemlist)[1].strWebPathTo, "c");
  RetCompare withKey;
  withKey.setValueWithJson(parse(R"({"sc":"k","list":"no"})"));
  EXPECT_EQ(withKey.changekey, "k");
  EXPECT_TRUE(withKey.itemlist->empty());
}

TEST(RetFileListTest, EveryEntryIsAnAdd) {
  RetFileList list;
  list.setValueWithJson(parse(R"({"list":[{"fullpath":"a","cmd":0},{"fullpath":"b","cmd":-1}]})"));
  ASSERT_EQ(list.itemlist->size(), 2u);
  for (const auto& item : *list.itemlist) EXPECT_EQ(item.nCmd, CompareItem::kCmdAddOrChange);
  RetRecover recover;
  recover.setValueWithJson(parse(R"({"list":[{"fullpath":"a","cmd":0}]})"));
  EXPECT_EQ(recover.itemlist->at(0).nCmd, CompareItem::kCmdDelete);
}

TEST(RetGetDownloadTest, UrlsInServerOrder) {
  RetGetDownload ret;
  ret.setValueWithJson(parse(R"({"filesize":"10","urls":["u1",null,"u2"]})"));
  EXPECT_EQ(ret.filesize, 10u);
  EXPECT_EQ(ret.urls, (std::vector<std::string>{"u1", "u2"}));
  ret.setValueWithJson(parse(R"({"urls":"u1"})"));
  EXPECT_TRUE(ret.urls.empty());
  RetCatchScreen screen;
  screen.setValueWithJson(parse(R"({"url":"s"})"));
  EXPECT_EQ(screen.url, "s");
}

TEST(StorageModelsTest, InitAndResumeOffset) {
  RetUploadInit init;
  init.setValueWithJson(parse(R"({"session":"s1","piecelen":"1048576"})"));
  EXPECT_EQ(init.session, "s1");
  EXPECT_EQ(init.piecelen, 1048576);
  const std::pair<std::string_view, std::uint64_t> cases[] = {
      {"1048576", 1048576}, {"  +12abc", 12}, {"abc", 0}, {"", 0}, {"-5", 0},
      {"99999999999999999999", INT64_MAX}, {"12\xff", 0}};
  for (const auto& [body, offset] : cases) {
    EXPECT_EQ(RetUploadReq::offsetFromBody(body), offset) << body;
  }
}

}  // namespace
}  // namespace nb
