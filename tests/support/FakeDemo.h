#pragma once
// The whole fake service with something in it: every endpoint the fakes
// know (sign-in, account, libraries, files, change feed, storage server)
// and a demo account that owns a demo library with a few files. The
// standalone development server runs one; tests use it to check that a
// client session finds its way around it.
//
//   FakeDemo demo;                      // serving before it returns
//   HTTPEngine::login(FakeDemo::kAccount, FakeDemo::kPassword, ..., demo.api().baseUrl());

#include <memory>

#include "support/FakeAuthEndpoints.h"
#include "support/FakeDrive.h"
#include "support/FakeService.h"

namespace nb::test {

class FakeDemo {
 public:
  static constexpr const char* kAccount = "demo";
  static constexpr const char* kPassword = "demo";
  static constexpr int kMemberId = 1;
  static constexpr int64_t kMountId = 1;

  // Throws std::runtime_error when a server cannot start (see FakeService).
  explicit FakeDemo(FakeService::Options options = {});
  FakeDemo(const FakeDemo&) = delete;
  FakeDemo& operator=(const FakeDemo&) = delete;

  FakeService& api() { return api_; }
  FakeAuthEndpoints& auth() { return auth_; }
  FakeDrive& drive() { return drive_; }
  FakeStorageServer& storage() { return storage_; }

 private:
  FakeService api_;
  FakeAuthEndpoints auth_;
  FakeDrive drive_;
  FakeStorageServer& storage_;  // owned by drive_
};

}  // namespace nb::test
