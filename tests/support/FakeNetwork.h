#pragma once
// A recording transfer engine for tests: keeps every call the sync engine
// makes, in order, as text, so a test can assert on dropped transfers and
// list reloads.
//
//   test::ScopedNetwork network;        // registered until the scope ends
//   ... code under test ...
//   EXPECT_EQ(network->count("ClearTrans"), 1);
//
// Thread-safe.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sync/operations/Network.h"

namespace nb::test {

class FakeNetwork : public Network {
 public:
  // One call: its name and its arguments joined by "|" (a direction is
  // "both", "download" or "upload").
  struct Call {
    std::string name;
    std::string argument;
    bool operator==(const Call&) const = default;
  };

  std::vector<Call> calls() const;
  std::size_t count(const std::string& name) const;
  void clear();
  // Runs on the caller's thread after each call is recorded, outside the
  // fake's lock: lets a test act at a chosen point of the engine's work
  // (stop a manager, throw as a failing transfer engine would).
  void setOnCall(std::function<void(const Call&)> hook);
  // The bulk-add counter as AddTransAction and DelTransAction left it.
  int transActions() const;

  void ClearTrans(const std::string& webpath, int64_t mountid, TransDirection which) override;
  void RenameWebpath(int64_t mountid, const std::string& oldwebpath,
                     const std::string& newwebpath) override;
  void StopDownloadAll() override;
  void StopUploadAll() override;
  void AddTransAction() override;
  void DelTransAction() override;
  void SendCallbackAction(TransDirection which, const std::string& action) override;
  void SendCallbackInfoByTransTask(TransDirection which, const TransTaskItem& task) override;
  void SendCallbackInfoByTransport(TransDirection which, const TransportItem& item) override;

  static std::string directionName(TransDirection which);

 private:
  void record(std::string name, std::string argument = {});

  mutable std::mutex mutex_;
  std::vector<Call> calls_;  // guarded by mutex_
  std::function<void(const Call&)> onCall_;  // guarded by mutex_
  int transActions_ = 0;     // guarded by mutex_
};

// Registers a new FakeNetwork for its lifetime, then the stand-in again.
class ScopedNetwork {
 public:
  ScopedNetwork() : fake_(std::make_shared<FakeNetwork>()) { Network::setNetwork(fake_); }
  ~ScopedNetwork() { Network::setNetwork(nullptr); }
  ScopedNetwork(const ScopedNetwork&) = delete;
  ScopedNetwork& operator=(const ScopedNetwork&) = delete;

  FakeNetwork* operator->() const { return fake_.get(); }
  FakeNetwork& operator*() const { return *fake_; }

 private:
  std::shared_ptr<FakeNetwork> fake_;
};

}  // namespace nb::test
