// The network activity hooks: shown when a transfer starts, hidden half a
// second after the last one stopped, and not at all when switched off.

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "http/HttpTestSupport.h"
#include "http/shared/BandwidthMeter.h"

namespace nb::test {
namespace {

using namespace std::chrono_literals;

class ActivityHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    registerTestIdentity();
    server_.on("/x", ScriptedReply::ok("x"));
    meter().setNetworkActivityObserver([this](bool shown) {
      std::lock_guard lock(mutex_);
      seen_.push_back(shown);
    });
  }
  void TearDown() override {
    meter().setNetworkActivityObserver(nullptr);
    meter().setShouldUpdateNetworkActivityIndicator(true);
  }
  static http::BandwidthMeter& meter() { return http::BandwidthMeter::shared(); }
  std::vector<bool> seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }
  void fetch() {
    auto request = http::ASIHTTPRequest::requestWithURL(server_.url("/x"));
    request->startSynchronous();
    ASSERT_EQ(errorCode(*request), 0);
  }

  ScriptedHttpServer server_;
  std::mutex mutex_;
  std::vector<bool> seen_;
};

TEST_F(ActivityHooks, ShownAtTheStartAndHiddenAfterTheLastTransfer) {
  fetch();
  EXPECT_FALSE(meter().isNetworkInUse());
  ASSERT_EQ(seen(), std::vector<bool>{true});
  ASSERT_TRUE(pumpMainThreadUntil([&] { return seen().size() == 2; }, 5s));
  EXPECT_EQ(seen(), (std::vector<bool>{true, false}));
}

TEST_F(ActivityHooks, ATransferStartedWithinTheDelayKeepsItShown) {
  fetch();
  // The hide is due later; the next transfer starts before it runs and is
  // still running when it does.
  meter().requestScheduled();
  pumpMainThreadUntil([] { return false; }, 700ms);
  EXPECT_EQ(seen(), (std::vector<bool>{true, true}));
  meter().requestUnscheduled();
  ASSERT_TRUE(pumpMainThreadUntil([&] { return seen().size() == 3; }, 5s));
  EXPECT_FALSE(seen().back());
}

TEST_F(ActivityHooks, SwitchedOffNothingIsShownOrHidden) {
  meter().setShouldUpdateNetworkActivityIndicator(false);
  fetch();
  pumpMainThreadUntil([] { return false; }, 700ms);
  EXPECT_TRUE(seen().empty());
}

}  // namespace
}  // namespace nb::test
