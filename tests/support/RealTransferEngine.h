#pragma once
// The real transfer engine for a test world: its own dispatch loops with
// download and upload tasks that talk to the fake service, registered as the
// sync engine's transfer engine with the sync managers taking its finished
// and failed transfers. The recording fake is registered again when it goes.
//
//   test::RealTransferEngine engine;   // after the world's SetUp
//   ... queue records through the sync engine ...
//   ASSERT_TRUE(engine.drain(clock())); // every record finished or failed

#include <memory>

#include "transfer/engine/Network.h"

namespace nb::test {

class ManualClock;

class RealTransferEngine {
 public:
  // `restore` is registered again at the end (the world's recording fake).
  explicit RealTransferEngine(std::shared_ptr<nb::Network> restore);
  ~RealTransferEngine();
  RealTransferEngine(const RealTransferEngine&) = delete;
  RealTransferEngine& operator=(const RealTransferEngine&) = delete;

  transfer::Network& network() { return *network_; }
  // Moves the manual clock on a second at a time (the loops sleep on it)
  // until the transfer store holds no unfinished record and no task runs;
  // false after `seconds` of real time.
  bool drain(ManualClock& clock, int seconds = 60);
  // The same without failing the test: for runs where faults may hold
  // transfers back.
  bool tryDrain(ManualClock& clock, int seconds);

 private:
  std::shared_ptr<nb::Network> restore_;
  std::unique_ptr<transfer::Network> network_;
};

}  // namespace nb::test
