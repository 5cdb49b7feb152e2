#include "sync/operations/UploadZip.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "support/FakeDriveFixture.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class UploadZipTest : public test::FakeDriveFixture {
 protected:
  void SetUp() override {
    FakeDriveFixture::SetUp();
    // The temporary root exists only from here on.
    file = root() / "report.zip";
    app_->serverInfo()->setStrUpdateHost(api_.host());
    std::ofstream(file, std::ios::binary) << "PK-zip-bytes";
  }
  void answer(int status) {
    api_.on("PUT", "/feedback/data",
            [status](const test::FakeCall&) { return test::FakeReply::text("", status); },
            test::FakeEndpointRules{.isSigned = false, .needsToken = false});
  }
  fs::path file;
};

TEST_F(UploadZipTest, OneAcceptedPutDeletesTheFile) {
  answer(200);
  EXPECT_EQ(UploadZip(file.string(), "data").upload(), 200);
  const auto call = lastCall("/feedback/data");
  EXPECT_EQ(call.method, "PUT");
  EXPECT_EQ(call.body, "PK-zip-bytes");
  EXPECT_FALSE(fs::exists(file));
}

TEST_F(UploadZipTest, RefusedOrUnansweredUploadKeepsTheFile) {
  answer(500);
  EXPECT_EQ(UploadZip(file.string(), "data").upload(), 500);
  EXPECT_TRUE(fs::exists(file));
  api_.fail("/feedback/data", test::FakeFault::drop());
  EXPECT_EQ(UploadZip(file.string(), "data").upload(), 0);
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(callCount("/feedback/data"), 2U);
}

}  // namespace
}  // namespace nb
