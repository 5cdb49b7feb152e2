#pragma once
// The sync centre's work at each step of a coordinator pass, for one
// session. A coordinator whose session has ended (its stop requested) may
// still be finishing a pass while the next session starts: it then does no
// more work that would reach the next session's registry or flags.

#include <stop_token>

#include "sync/centre/CoordinatorLoop.h"

namespace nb {

class SyncCenter;

class CentrePasses final : public CoordinatorSteps {
 public:
  CentrePasses(SyncCenter& center, std::stop_token stop) : center_(center), stop_(std::move(stop)) {}

  void prepare() override;
  bool bOut() override;
  bool bSocketIO() override;
  bool bRegetServer() override;
  bool bCompareNow() override;
  bool retryRenames() override;
  void trimCache() override;
  double catalogueBackupTime() override;
  void backupStores() override;
  int refreshCatalogue() override;
  void afterRefresh() override;
  bool compareQueueEmpty() override;
  void startCycle() override;

 private:
  SyncCenter& center_;
  const std::stop_token stop_;
};

}  // namespace nb
