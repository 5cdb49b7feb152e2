#pragma once
// Brackets one bulk addition to the transfer queues: the registered
// transfer engine's bulk-add counter is raised for the scope's length, so
// its dispatch loops start nothing from a half-queued batch, and lowered
// however the scope is left.

#include <memory>

#include "sync/operations/Network.h"

namespace nb::transfer {

class BulkAddScope {
 public:
  BulkAddScope() : network_(nb::Network::shareNetwork()) { network_->AddTransAction(); }
  ~BulkAddScope() { network_->DelTransAction(); }
  BulkAddScope(const BulkAddScope&) = delete;
  BulkAddScope& operator=(const BulkAddScope&) = delete;

 private:
  // Held so that the same engine is lowered that was raised.
  const std::shared_ptr<nb::Network> network_;
};

}  // namespace nb::transfer
