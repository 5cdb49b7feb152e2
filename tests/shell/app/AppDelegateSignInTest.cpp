// The automatic sign-in's guards, without a network.

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "shell/app/AppDelegate.h"

namespace nb {
namespace {

TEST(AppDelegateSignInTest, ASecondAutomaticSignInReturnsAtOnce) {
  AppDelegate app;
  app.setBLogining(true);
  app.loginByAuto();
  EXPECT_FALSE(app.bLogin());
  EXPECT_TRUE(app.bLogining());  // the running one still owns the flag
}

TEST(AppDelegateSignInTest, AReconnectWithoutARefreshTokenStopsSigningInByItself) {
  UserData::shareUserData().setRefreshToken("");
  AppDelegate app;
  app.setBAutoLogin(true);
  app.setLinkStatus(true);
  EXPECT_FALSE(app.bAutoLogin());
  EXPECT_TRUE(app.bLinkNetwork());
  app.setLinkStatus(false);
  EXPECT_FALSE(app.bLinkNetwork());
}

}  // namespace
}  // namespace nb
