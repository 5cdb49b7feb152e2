// A file only the server has, opened from a page: downloaded to open by the
// real transfer engine, edited by the user, and uploaded again by the
// watcher of opened files.

#include <gtest/gtest.h>

#include <fstream>

#include "api/session/UserData.h"
#include "bridge/functions/PageWorld.h"
#include "bridge/open/OpenActions.h"
#include "stores/transfer/TransPortDB.h"
#include "support/FakeDrive.h"
#include "support/PumpMainThread.h"
#include "support/RealTransferEngine.h"
#include "transfer/opened/OpenDirectoryhandler.h"

namespace nb::test {
namespace {

class OpenEndToEndTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    bridge::setOpenActions({[](const std::string&, const std::string&, const std::string&) {},
                            [](const std::string&, std::int64_t, const std::string&,
                               std::int64_t) {}});
    putServerFile("other/b.txt", "server bytes");
    runCoordinatorPass();
    runComparePass();
    UserData::shareUserData().setBTransStart(true);
  }
  void TearDown() override {
    handler.reset();
    engine.reset();
    bridge::setOpenActions({});
    PageWorld::TearDown();
  }

  std::unique_ptr<transfer::OpenDirectoryhandler> handler;
  std::unique_ptr<RealTransferEngine> engine;
};

TEST_F(OpenEndToEndTest, ADownloadedToOpenFileGoesBackUpWhenTheUserSavesIt) {
  const JsonValue got =
      answer("gOpen", R"({"mount_id":)" + std::to_string(kMountId) + R"(,"webpath":"other/b.txt"})");
  ASSERT_EQ(got["showdlg"].asInt64(), 1);
  const std::string copy(got["fullpath"].asString());

  engine = std::make_unique<RealTransferEngine>(Network::shareNetwork());
  ASSERT_TRUE(engine->drain(clock())) << "the download did not end";
  engine.reset();
  {
    std::ifstream in(copy);
    ASSERT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "server bytes");
  }

  handler = std::make_unique<transfer::OpenDirectoryhandler>(
      UserData::shareUserData().openPath(),
      transfer::OpenDirectoryhandler::Options{std::chrono::milliseconds(200)});
  handler->startMonitoring();
  ASSERT_TRUE(handler->waitUntilWatching());
  std::ofstream(copy, std::ios::trunc) << "the user's edit, longer";
  ASSERT_TRUE(eventually([] {
    return TransPortDB::shareTransPortDB().Get_Upload(kMountId, "other/b.txt").nIndex != 0;
  }));
  handler.reset();

  engine = std::make_unique<RealTransferEngine>(Network::shareNetwork());
  ASSERT_TRUE(engine->drain(clock())) << "the upload did not end";
  EXPECT_EQ(serverTree("other").at("b.txt").filehash,
            FakeDrive::contentHash("the user's edit, longer"));
}

}  // namespace
}  // namespace nb::test
