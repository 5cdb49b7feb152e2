// The calls for the account's own data against the fake service.

#include <fstream>

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "support/FakeDriveFixture.h"

namespace nb {
namespace {

using test::FakeFault;

class HTTPEngineAccountDataTest : public test::FakeDriveFixture {};

TEST_F(HTTPEngineAccountDataTest, TemplatesAndTheirUrls) {
  const std::string hash = drive_->putContent("template");
  drive_->setTemplates(12, {{{"ent_id", 1}, {"id", 4}, {"filehash", hash}, {"tpl_name", "T"}}});
  const auto templates = HTTPEngine::getEntTemplates(token_, "12,13");
  ASSERT_EQ(templates.itemlist->size(), 1u);
  EXPECT_EQ(templates.itemlist->at(0).nEntID, 12);
  const auto url = HTTPEngine::getEntTemplateUrl(token_, 12, hash);
  EXPECT_EQ(url.url, storage_->downloadUrl(hash));
  EXPECT_EQ(lastCall("/1/account/get_ent_tpl_url").paramNames(),
            (std::vector<std::string>{"token", "ent_id", "filehash", "sign"}));
}

TEST_F(HTTPEngineAccountDataTest, SettingsHotFilesFavouritesAndFavouriteNames) {
  drive_->setSettings({{{"setting", "delay_sync_file"}, {"value", 1}, {"property", "{\"psd\":5}"}}});
  drive_->setHotFiles({"u1", "u2"});
  drive_->setFavoriteFiles({{{"fav_id", 1}, {"mount_id", kMountId}, {"hash", "u1"}}});
  EXPECT_EQ(HTTPEngine::getAccountSetting(token_).itemlist->at(0).strProperty, "{\"psd\":5}");
  EXPECT_EQ(HTTPEngine::getHotFileList(token_).itemlist->size(), 2u);
  EXPECT_EQ(HTTPEngine::getFavoritesList(token_).itemlist->at(0).nMountID, kMountId);
  for (const char* path : {"/1/account/setting", "/1/member/hot_files", "/1/favorites/get_all_files"}) {
    EXPECT_EQ(lastCall(path).method, "GET") << path;
  }
  EXPECT_EQ(HTTPEngine::setFavoriteName(token_, "2", "Red & blue").nStatusCode(), 200);
  EXPECT_EQ(drive_->favoriteNames().back(), std::make_pair(std::string("2"), std::string("Red & blue")));
}

TEST_F(HTTPEngineAccountDataTest, ShortcutsAnswerRawTextAndRepeatEvenWithoutTheMarker) {
  drive_->setShortcuts(R"({"links":[1]})");
  bool ok = false;
  EXPECT_EQ(HTTPEngine::getShortcuts(token_, ok), R"({"links":[1]})");
  EXPECT_TRUE(ok);

  // A 200 without the marker that names an expired token.
  const std::string stale = token_;
  api_.on("POST", "/2/member/get_shortcuts", [&](const test::FakeCall& call) {
    if (call.param("token") == stale) return test::FakeReply::json({{"error_code", 40101}});
    return test::FakeReply::text(drive_->shortcuts());
  });
  api_.fail("/2/member/get_shortcuts", FakeFault::noMarker().times(1));
  EXPECT_EQ(HTTPEngine::getShortcuts(stale, ok), R"({"links":[1]})");
  EXPECT_TRUE(ok);
  EXPECT_EQ(refreshes_, 1);

  api_.fail("/2/member/get_shortcuts", FakeFault::drop().times(1));
  const auto before = callCount("/2/member/get_shortcuts");
  EXPECT_EQ(HTTPEngine::getShortcuts(token_, ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(callCount("/2/member/get_shortcuts"), before + 1);
}

TEST_F(HTTPEngineAccountDataTest, ProfileWithPictureGoesAsMultipart) {
  const auto picture = root() / "me.png";
  std::ofstream(picture, std::ios::binary) << "PNG!";
  const auto ret = HTTPEngine::setAccountInfo(token_, "New", "", picture.string());
  ASSERT_EQ(ret.nStatusCode(), 200) << ret.strErrorMsg();
  const auto call = lastCall("/1/account/set_info");
  EXPECT_EQ(call.paramNames(), (std::vector<std::string>{"token", "member_name", "sign"}));
  EXPECT_EQ(call.header("Content-Type"), "multipart/form-data; boundary=0xKhTmLbOuNdArY");
  // The fake reads multipart bodies apart, so the body is checked by its
  // length.
  const std::string body =
      "--0xKhTmLbOuNdArY\r\nContent-Disposition: form-data; name=\"file\"; "
      "filename=\"me.png\"\r\nContent-Type: image/x-png\r\n\r\nPNG!\r\n--0xKhTmLbOuNdArY--\r\n";
  EXPECT_EQ(call.header("Content-Length"), std::to_string(body.size()));
}

// Every call carries the service's refusal into its result.
TEST_F(HTTPEngineAccountDataTest, RefusalsReachTheResult) {
  const std::vector<std::pair<const char*, std::function<RequestRet()>>> calls = {
      {"/1/file/set_favorite_name", [&] { return HTTPEngine::setFavoriteName(token_, "1", "n"); }},
      {"/1/account/get_ent_tpl", [&] { return HTTPEngine::getEntTemplates(token_, "1"); }},
      {"/1/account/get_ent_tpl_url", [&] { return HTTPEngine::getEntTemplateUrl(token_, 1, "h"); }},
      {"/1/account/setting", [&] { return HTTPEngine::getAccountSetting(token_); }},
      {"/1/member/hot_files", [&] { return HTTPEngine::getHotFileList(token_); }},
      {"/1/favorites/get_all_files", [&] { return HTTPEngine::getFavoritesList(token_); }},
      {"/1/account/set_info", [&] { return HTTPEngine::setAccountInfo(token_, "n", "", ""); }},
  };
  for (const auto& [path, run] : calls) {
    api_.fail(path, FakeFault::errorCode(40301, 403, "refused").times(1));
    const RequestRet ret = run();
    EXPECT_EQ(ret.nStatusCode(), 403) << path;
    EXPECT_EQ(ret.nErrorCode(), 40301) << path;
    EXPECT_EQ(ret.strErrorMsg(), "refused") << path;
  }
  bool ok = true;
  api_.fail("/2/member/get_shortcuts", FakeFault::errorCode(40301, 403).times(1));
  EXPECT_EQ(HTTPEngine::getShortcuts(token_, ok), "");
  EXPECT_FALSE(ok);
}

}  // namespace
}  // namespace nb
