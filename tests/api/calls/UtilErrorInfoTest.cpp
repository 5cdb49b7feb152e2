#include "api/calls/UtilErrorInfo.h"

#include <gtest/gtest.h>

#include "support/FakeAppState.h"

namespace nb::Util {
namespace {

TEST(UtilErrorInfo, NoAnswerIsTheNetworkAnswerElseTheServersCodeAndMessage) {
  test::ScopedAppState app;
  app->setLanguage("en-us");

  RequestRet none;
  none.setNErrorCode(40301);
  none.setStrErrorMsg("ignored without an answer");
  EXPECT_EQ(errorInfoWithReq(none), R"({"error":10001,"message":"The network is not connected"})");

  RequestRet refused;
  refused.setNStatusCode(403);
  refused.setNErrorCode(403212);
  refused.setStrErrorMsg("space is full");
  EXPECT_EQ(errorInfoWithReq(refused), R"({"error":403212,"message":"space is full"})");

  RequestRet ok;
  ok.setNStatusCode(200);
  EXPECT_EQ(errorInfoWithReq(ok), R"({"error":0,"message":""})");
}

}  // namespace
}  // namespace nb::Util
