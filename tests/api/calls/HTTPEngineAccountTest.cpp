// The account and library calls against the fake service.

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "foundation/json/Json.h"
#include "support/FakeDriveFixture.h"
#include "support/LogCapture.h"

namespace nb {
namespace {

using test::FakeFault;

class HTTPEngineAccountTest : public test::FakeDriveFixture {};

TEST_F(HTTPEngineAccountTest, AccountInfoKeepsTheWholeBody) {
  const auto info = HTTPEngine::getAccountInfo(token_);
  ASSERT_EQ(info.nStatusCode(), 200);
  EXPECT_EQ(info.nUserID, user_.memberId);
  EXPECT_EQ(info.strUserName, "tester");
  const auto body = dictionaryFromString(info.strJsonInfo);
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ((*body)["member_id"].toInt64(), user_.memberId);
  EXPECT_EQ(lastCall("/1/account/info").method, "GET");

  api_.fail("/1/account/info", FakeFault::noMarker().times(1));
  const auto unmarked = HTTPEngine::getAccountInfo(token_);
  EXPECT_EQ(unmarked.nStatusCode(), RequestRet::kNoMarker);
  EXPECT_TRUE(unmarked.strJsonInfo.empty());
}

TEST_F(HTTPEngineAccountTest, SetDeviceReadsNothingAndLogsNoToken) {
  test::LogCapture log;
  const auto ret = HTTPEngine::setAccountDevice(token_, "my-laptop", "{\"os\":\"linux\"}");
  EXPECT_EQ(ret.nStatusCode(), 200);
  EXPECT_EQ(ret.nUserID, 0);
  EXPECT_TRUE(ret.strUserName.empty());
  EXPECT_EQ(drive_->devices(), std::vector<std::string>{"my-laptop"});
  EXPECT_NE(log.text().find("device:my-laptop"), std::string::npos);
  EXPECT_EQ(log.text().find(token_), std::string::npos);
}

TEST_F(HTTPEngineAccountTest, LibrariesByOrganisationOrId) {
  drive_->addLibrary({.mountId = 8, .orgId = 7, .orgName = "Other"});
  drive_->addLibrary({.mountId = 9, .orgId = 4});
  EXPECT_EQ(HTTPEngine::getMounts(token_).itemlist->size(), 3u);
  const auto byOrg = HTTPEngine::getMounts(token_, std::vector<int64_t>{3, 7});
  ASSERT_EQ(byOrg.itemlist->size(), 2u);
  EXPECT_EQ(byOrg.itemlist->at(1).strOrgName, "Other");
  EXPECT_NE(lastCall("/1/account/mount").body.find("org_id=3%2C7&sign="), std::string::npos);
  const auto byId = HTTPEngine::getMountsByIds(token_, {9});
  ASSERT_EQ(byId.itemlist->size(), 1u);
  EXPECT_EQ(byId.itemlist->at(0).nMountID, 9);
}

TEST_F(HTTPEngineAccountTest, EnterprisesAndStorageServers) {
  drive_->addEnterprise({.entId = 12, .name = "Acme"});
  EXPECT_EQ(HTTPEngine::getEnts(token_).itemlist->at(0).strEntName, "Acme");
  const auto servers = HTTPEngine::getAccountServers(token_, "upload");
  ASSERT_EQ(servers.nStatusCode(), 200);
  ASSERT_EQ(servers.itemlist->size(), 1u);
  EXPECT_EQ(servers.itemlist->at(0).strPort, std::to_string(storage_->service().port()));
}

TEST_F(HTTPEngineAccountTest, RefusalsReachTheResult) {
  const std::vector<std::pair<const char*, std::function<RequestRet()>>> calls = {
      {"/1/account/info", [&] { return HTTPEngine::getAccountInfo(token_); }},
      {"/1/account/set_device", [&] { return HTTPEngine::setAccountDevice(token_, "d", "i"); }},
      {"/1/account/mount", [&] { return HTTPEngine::getMounts(token_); }},
      {"/1/account/ent", [&] { return HTTPEngine::getEnts(token_); }},
      {"/1/account/servers", [&] { return HTTPEngine::getAccountServers(token_, "t"); }},
  };
  for (const auto& [path, run] : calls) {
    api_.fail(path, FakeFault::errorCode(40301, 403, "refused").times(1));
    const RequestRet ret = run();
    EXPECT_EQ(ret.nStatusCode(), 403) << path;
    EXPECT_EQ(ret.nErrorCode(), 40301) << path;
  }
}

}  // namespace
}  // namespace nb
