#include "support/FakeDriveFixture.h"

#include "api/calls/HTTPEngine.h"
#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/text/StringHelpers.h"

namespace nb::test {

FakeDriveFixture::~FakeDriveFixture() {
  if (!drive_) return;
  for (FakeStorageServer* storage : drive_->storageServers()) storage->service().stop();
}

void FakeDriveFixture::SetUp() {
  TempHome::SetUp();
  app_->useServerAt(root(), api_.host());
  app_->setUseHttps(false);
  UserData::shareUserData().setDevicename(kDevice);

  drive_ = std::make_unique<FakeDrive>(api_, driveClock());
  user_ = drive_->addUser(FakeUser{.memberId = 5, .name = "tester"});
  token_ = drive_->signIn(user_);
  drive_->addLibrary(FakeLibrary{.mountId = kMountId, .orgId = 3, .orgName = "Team"});
  storage_ = &drive_->addStorageServer();
  HTTPEngine::setTokenRefresher([this](const std::string&) {
    ++refreshes_;
    return drive_->signIn(user_);
  });
}

void FakeDriveFixture::TearDown() {
  HTTPEngine::setTokenRefresher({});
  TempHome::TearDown();
}

FakeCall FakeDriveFixture::lastCall(const std::string& path) const {
  const auto calls = api_.callsTo(path);
  EXPECT_FALSE(calls.empty()) << "no request to " << path;
  return calls.empty() ? FakeCall{} : calls.back();
}

int64_t FakeDriveFixture::putPiece(const std::string& url, const std::string& session,
                                   uint64_t offset, const std::string& piece) {
  const platform::HttpHeaders headers{
      {"x-nb-upload-session", session},
      {"x-nb-upload-range",
       std::to_string(offset) + "-" + std::to_string(offset + piece.size() - 1)},
      {"x-nb-upload-crc", std::to_string(crc32(piece))}};
  return NBHTTPRequest(url + "/upload_part", "PUT", headers, piece)
      .connectNetSyncWithResponse(10)
      .statusCode;
}

}  // namespace nb::test
