#pragma once
// A test fixture that points the client at a fresh fake service with a
// drive: one user signed in, one library (kMountId) with an empty tree, one
// storage server, the session's device name set, HTTP chosen, and the
// token refresh hooked to the fake's token endpoint rules (a refresh issues
// a fresh live token for the same user).
//
//   class MyTest : public test::FakeDriveFixture {};
//   TEST_F(MyTest, X) { auto ret = HTTPEngine::getMounts(token_); ... }

#include <memory>
#include <string>

#include "support/FakeAppState.h"
#include "support/FakeDrive.h"
#include "support/FakeService.h"
#include "support/FakeStorageServer.h"
#include "support/TempHome.h"

namespace nb::test {

class FakeDriveFixture : public TempHome {
 protected:
  static constexpr int64_t kMountId = 7;
  static constexpr const char* kDevice = "test-machine";

  // The storage servers live in the drive, which outlives the API service,
  // yet their handlers check tokens with that service: they stop first.
  ~FakeDriveFixture() override;
  void SetUp() override;
  void TearDown() override;
  // The time of the drive's changes; the wall clock unless a fixture ties
  // the server to its own clock.
  virtual FakeLibraryTree::Clock driveClock() { return {}; }

  FakeLibraryTree& tree() { return *drive_->tree(kMountId); }
  // How many requests reached `path` of the API service.
  std::size_t callCount(const std::string& path) const { return api_.callsTo(path).size(); }
  // The last request to `path`; fails the test when there is none.
  FakeCall lastCall(const std::string& path) const;
  // One piece as the transfer engine uploads it (outside the web API client):
  // PUT upload_part with the session, the inclusive range and the CRC-32.
  // Answers the HTTP status.
  static int64_t putPiece(const std::string& url, const std::string& session, uint64_t offset,
                          const std::string& piece);

  // Declared before the service so that the service stops (and its handler
  // threads end) before the drive they use goes away.
  std::unique_ptr<FakeDrive> drive_;
  FakeService api_;
  ScopedAppState app_;
  FakeStorageServer* storage_ = nullptr;
  FakeUser user_;
  std::string token_;
  int refreshes_ = 0;  // token refreshes the client asked for
};

}  // namespace nb::test
