#include <gtest/gtest.h>

#include "api/models/RetEntGrantItem.h"
#include "api/models/RetGetServer.h"
#include "api/models/RetPassport.h"
#include "api/models/RetToken.h"
#include "api/models/RetUserInfo.h"

namespace nb {
namespace {

TEST(RetToken, ReadsASuccessfulAnswer) {
  RetToken ret;
  ret.setNStatusCode(200);
  ret.setValueWithData(R"({"expires_in":"7200","access_token":"a","refresh_token":"r"})");
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(ret.nExpires, 7200);
  EXPECT_EQ(ret.strAccessToken, "a");
  EXPECT_EQ(ret.strRefreshToken, "r");
  EXPECT_EQ(ret.strApiHost, "");
  EXPECT_EQ(ret.ullDateline, 0u);

  RetToken dated;
  dated.setValueWithData(R"({"access_token":"a","dateline":1700000123,"api_host":"api.example/m-api"})");
  EXPECT_EQ(dated.ullDateline, 1700000123u);
  EXPECT_EQ(dated.strApiHost, "api.example/m-api");
}

TEST(RetToken, MapsOAuthErrors) {
  struct Case {
    const char* body;
    std::int64_t code;
    const char* message;
    const char* description;
  } cases[] = {
      {R"({"error":"invalid_request"})", 0, "invalid_request", ""},
      {R"({"error":"invalid_grant","error_description":"x"})", 1, "invalid_grant", "x"},
      {R"({"error":"invalid_client","error_code":9})", 1, "invalid_client", ""},
      {R"({"error":"invalid_token"})", 1, "invalid_token", ""},
      {R"({"error":"expired_token"})", 1, "expired_token", ""},
      {R"({"error":"unauthorized_client"})", 1, "unauthorized_client", ""},
      {R"({"error":"access_denied"})", 1, "access_denied", ""},
      {R"({"error":"access_upgrade"})", 2, "access_upgrade", ""},
      {R"({"error":"deprecated_client"})", 3, "deprecated_client", ""},
      {R"({"error":"slow_down","error_code":7})", 7, "slow_down", ""},
      // Without an OAuth name the common message is replaced by nothing.
      {R"({"error_code":"40003","error_msg":"bad sign"})", 40003, "", ""},
  };
  for (const Case& c : cases) {
    RetToken ret;
    ret.setNStatusCode(400);
    ret.setValueWithErrorData(c.body);
    EXPECT_EQ(ret.nErrorCode(), c.code) << c.body;
    EXPECT_EQ(ret.strErrorMsg(), c.message) << c.body;
    EXPECT_EQ(ret.strErrorDescription, c.description) << c.body;
  }
}

TEST(RetToken, UnreadableErrorBodiesLeaveTheFieldsAlone) {
  for (const char* body : {"", "not json", "[1]"}) {
    RetToken ret;
    ret.setNErrorCode(5);
    ret.setValueWithErrorData(body);
    EXPECT_EQ(ret.nErrorCode(), 5) << body;
    EXPECT_EQ(ret.strErrorMsg(), "") << body;
  }
}

TEST(RetUserInfo, ReadsTheAccount) {
  RetUserInfo ret;
  ret.setValueWithData(
      R"({"member_id":"4294967298","member_name":"Ann","member_email":"a@x","member_phone":"1",)"
      R"("avatar":"http://p","settings":{"disable_new_device":"1"},"member_account":"ann",)"
      R"("source":"acme","favorites":[{"id":1,"name":"A","color":"red"},{"id":"2","type":3}]})");
  EXPECT_EQ(ret.nUserID, 4294967298);  // ids pass 32 bits
  EXPECT_EQ(ret.strUserName, "Ann");
  EXPECT_EQ(ret.strUserEmail, "a@x");
  EXPECT_EQ(ret.strUserPhone, "1");
  EXPECT_EQ(ret.strPhotoUrl, "http://p");
  EXPECT_EQ(ret.nDeviceStatus, 1);
  EXPECT_EQ(ret.strMemberAccount, "ann");
  EXPECT_EQ(ret.strSource, "acme");
  ASSERT_TRUE(ret.arrayFavorites);
  ASSERT_EQ(ret.arrayFavorites->size(), 2u);
  EXPECT_EQ((*ret.arrayFavorites)[0].strColor, "red");
  EXPECT_EQ((*ret.arrayFavorites)[1].nType, 3);
}

TEST(RetUserInfo, OddSettingsAndFavoritesAreLeftAlone) {
  RetUserInfo ret;
  ret.nDeviceStatus = 5;
  ret.setValueWithData(R"({"member_id":1,"favorites":{"id":1},"settings":"x"})");
  EXPECT_FALSE(ret.arrayFavorites);
  EXPECT_EQ(ret.nDeviceStatus, 5);
  ret.setValueWithData(R"({"member_id":1,"settings":{}})");
  EXPECT_EQ(ret.nDeviceStatus, 0);
  EXPECT_EQ(ret.strSource, "");
}

TEST(SignInModels, PassportAndGrantKeys) {
  RetPassport passport;
  passport.setNStatusCode(200);
  passport.setValueWithData(R"({"other":1})");
  EXPECT_EQ(passport.nStatusCode(), 200);
  EXPECT_EQ(passport.strServerHost, "");
  passport.setValueWithData(R"({"domain":"acme.example"})");
  EXPECT_EQ(passport.strServerHost, "acme.example");

  RetEntGrantItem grant;
  grant.setValueWithData(R"({"nbkey":"k1"})");
  EXPECT_EQ(grant.strKey, "k1");
}

TEST(RetGetServer, ReadsOnlyAnArrayAndNeverFlagsTheBody) {
  RetGetServer ret;
  ret.setNStatusCode(200);
  ret.setValueWithData(R"({"hostname":"h"})");
  EXPECT_FALSE(ret.itemlist);
  ret.setValueWithData("");
  EXPECT_FALSE(ret.itemlist);
  EXPECT_EQ(ret.nStatusCode(), 200);
  ret.setValueWithData(R"([{"hostname":"h","port":"80","https":"443"},5])");
  ASSERT_TRUE(ret.itemlist);
  ASSERT_EQ(ret.itemlist->size(), 2u);
  EXPECT_EQ((*ret.itemlist)[0].strHost, "h");
  EXPECT_EQ((*ret.itemlist)[1].strHost, "");
}

}  // namespace
}  // namespace nb
