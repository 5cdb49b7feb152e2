#include "sync/operations/SyncAlert.h"

#include <memory>
#include <mutex>

#include "platform/Log.h"

namespace nb {
namespace {

std::mutex presenterMutex;
std::shared_ptr<const SyncAlertPresenter> presenter;  // guarded by presenterMutex

}  // namespace

void setSyncAlertPresenter(SyncAlertPresenter next) {
  std::lock_guard lock(presenterMutex);
  presenter = next ? std::make_shared<const SyncAlertPresenter>(std::move(next)) : nullptr;
}

void showSyncAlert(const std::string& message, const std::string& button) {
  std::shared_ptr<const SyncAlertPresenter> current;
  {
    std::lock_guard lock(presenterMutex);
    current = presenter;
  }
  if (!current) {
    NBLOG_ERROR("no alert presenter is registered; alert not shown: {}", message);
    return;
  }
  (*current)(message, button);
}

}  // namespace nb
