// A page following the download list while the real transfer engine brings
// a synced file down from the fake service.

#include <gtest/gtest.h>

#include "bridge/functions/PageWorld.h"
#include "bridge/script/ClientScript.h"
#include "support/RealTransferEngine.h"

namespace nb::test {
namespace {

class TransferProgressEndToEndTest : public PageWorld {};

TEST_F(TransferProgressEndToEndTest, APageHearsEverySecondAndOnceWhenTheDownloadEnds) {
  transfer::CallbackThread::setPagesReady([] { return true; });
  RealTransferEngine engine(nb::Network::shareNetwork());
  const std::string body = json(JsonValue::object({{"token", bridge->token()},
                                                   {"fn", "gChangeDownload"},
                                                   {"args", JsonValue::array({R"({"start":1})"})},
                                                   {"cb", "p_1"}}));
  ASSERT_TRUE(window->postMessage(std::string(bridge::kMessageHandler), body, kPage));
  engine.network().startProgress();

  putServerFile("docs/a.txt", std::string(200'000, 'a'));
  linkFolder("docs", "Docs");
  runCoordinatorPass();
  runComparePass();
  ASSERT_TRUE(engine.drain(clock()));
  // Two more seconds of reports after the end.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(clock().waitForSleepers(1));
    clock().advance(std::chrono::seconds(1));
  }
  engine.network().dCallback().stop();
  engine.network().uCallback().stop();
  pumpMainThread();
  EXPECT_EQ(readLocal("Docs/a.txt").size(), 200'000u);

  std::size_t periodic = 0;
  std::size_t ended = 0;
  for (const auto& f : window->functionCalls()) {
    const JsonValue m = objectFromJSONString(f.argument).value();
    if (m["id"].asString() != "p_1") continue;
    const JsonValue report = objectFromJSONString(m["answer"].asString()).value();
    if (report.contains("action")) continue;
    ASSERT_TRUE(report.contains("download_total_count"));
    ASSERT_TRUE(report["list"].isArray());
    if (report["list"].empty()) {
      ++periodic;
      continue;
    }
    const JsonValue& entry = report["list"][0];
    EXPECT_EQ(entry["webpath"].asString(), "docs/a.txt");
    EXPECT_EQ(entry["filesize"].asInt64(), 200'000);
    // The finished record's report is the one form that always carries an
    // error text (empty); a running transfer's leaves it out until it fails.
    if (entry["status"].asInt64() == 4 && entry.contains("errormsg")) {
      ++ended;
      EXPECT_EQ(entry["errormsg"].asString(), "");
      EXPECT_EQ(entry["speed"].asInt64(), 0);
    }
  }
  EXPECT_GE(periodic, 2u) << "the loop goes on once a second";
  EXPECT_EQ(ended, 1u) << "one report of the finished record";
  transfer::CallbackThread::setPagesReady({});
}

}  // namespace
}  // namespace nb::test
