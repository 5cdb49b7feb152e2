// The development server's demo: a client session finds its way around it
// with the client's own calls.

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "support/FakeAppState.h"
#include "support/FakeDemo.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

class FakeDemoTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    app_->useServerAt(root(), demo_.api().host());
  }

  ScopedAppState app_;
  FakeDemo demo_;
};

std::vector<std::string> paths(const std::optional<std::vector<CompareItem>>& items) {
  std::vector<std::string> out;
  for (const auto& item : items.value_or(std::vector<CompareItem>{})) out.push_back(item.strWebPath);
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(FakeDemoTest, DemoAccountReachesItsLibraryFilesFeedAndServers) {
  const RetToken signedIn =
      HTTPEngine::login(FakeDemo::kAccount, FakeDemo::kPassword, "info", "dev", demo_.api().baseUrl());
  ASSERT_EQ(signedIn.nStatusCode(), 200);
  const std::string token = signedIn.strAccessToken;

  const RetUserInfo account = HTTPEngine::getAccountInfo(token);
  EXPECT_EQ(account.nStatusCode(), 200);
  EXPECT_EQ(account.nUserID, FakeDemo::kMemberId);

  const RetMounts mounts = HTTPEngine::getMounts(token);
  ASSERT_EQ(mounts.nStatusCode(), 200);
  ASSERT_EQ(mounts.itemlist.value_or(std::vector<MountItem>{}).size(), 1u);
  EXPECT_EQ(mounts.itemlist->front().nMountID, FakeDemo::kMountId);

  const RetFileList root = HTTPEngine::getFileList(token, "", FakeDemo::kMountId, "", "");
  ASSERT_EQ(root.nStatusCode(), 200);
  EXPECT_EQ(paths(root.itemlist), (std::vector<std::string>{"Documents", "Pictures", "Welcome.txt"}));

  const RetCompare feed = HTTPEngine::getFileCompare(token, "", FakeDemo::kMountId, 0, true, 0, 0);
  ASSERT_EQ(feed.nStatusCode(), 200);
  EXPECT_FALSE(paths(feed.itemlist).empty());

  const RetGetServer servers = HTTPEngine::getAccountServers(token, "upload");
  ASSERT_EQ(servers.nStatusCode(), 200);
  EXPECT_EQ(servers.itemlist.value_or(std::vector<ServerUrlItem>{}).size(), 1u);

  const RetSettingList settings = HTTPEngine::getAccountSetting(token);
  ASSERT_EQ(settings.nStatusCode(), 200);
  EXPECT_EQ(settings.itemlist.value_or(std::vector<SettingItem>{}).size(), 1u);

  const RetToken refreshed = HTTPEngine::refreshToken(signedIn.strRefreshToken, "info", "dev");
  EXPECT_EQ(refreshed.nStatusCode(), 200);
}

}  // namespace
}  // namespace nb::test
