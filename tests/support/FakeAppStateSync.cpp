// The parts of the recording application state that the sync engine uses.
#include <filesystem>
#include <system_error>

#include "platform/OperationQueue.h"
#include "support/FakeAppState.h"

namespace nb::test {
namespace {

// The first symbolic link in `dir` that points at `folder`; empty if none.
std::filesystem::path linkTo(const std::string& dir, const std::string& folder) {
  std::error_code ec;
  if (dir.empty() || folder.empty()) return {};
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (!entry.is_symlink(ec)) continue;
    if (std::filesystem::read_symlink(entry.path(), ec) == std::filesystem::path(folder)) {
      return entry.path();
    }
  }
  return {};
}

}  // namespace

void FakeWebWindow::setCustomEvent(const PageEvent& event) {
  std::lock_guard lock(mutex_);
  events_.push_back(event);
}

std::vector<PageEvent> FakeWebWindow::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

void FakeAppState::setLinkNetwork(bool up) {
  std::lock_guard lock(mutex_);
  linkNetwork_ = up;
}

void FakeAppState::setLockScreen(bool on) {
  std::lock_guard lock(mutex_);
  lockScreen_ = on;
}

void FakeAppState::setRecyclebin(bool on) {
  std::lock_guard lock(mutex_);
  recyclebin_ = on;
}

void FakeAppState::setPromptMessage(bool on) {
  std::lock_guard lock(mutex_);
  promptMessage_ = on;
}

void FakeAppState::setNeedLoading(bool needed) {
  std::lock_guard lock(mutex_);
  needLoading_ = needed;
}

void FakeAppState::setFavoritesPath(std::string path) {
  std::lock_guard lock(mutex_);
  favoritesPath_ = std::move(path);
}

std::shared_ptr<FakeWebWindow> FakeAppState::addWindow(int64_t mountId, std::string webpath) {
  auto window = std::make_shared<FakeWebWindow>();
  std::lock_guard lock(mutex_);
  windows_.push_back({{mountId, std::move(webpath)}, window});
  return window;
}

void FakeAppState::setOnCall(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(mutex_);
  onCall_ = std::move(hook);
}

bool FakeAppState::bLockScreen() {
  std::lock_guard lock(mutex_);
  return lockScreen_;
}

bool FakeAppState::bRecyclebin() {
  std::lock_guard lock(mutex_);
  return recyclebin_;
}

bool FakeAppState::bPromptMessage() {
  std::lock_guard lock(mutex_);
  return promptMessage_;
}

bool FakeAppState::bNeedLoading() {
  std::lock_guard lock(mutex_);
  return needLoading_;
}

void FakeAppState::setBNeedLoading(bool needed) {
  setNeedLoading(needed);
  record("setBNeedLoading", needed ? "1" : "0");
}

void FakeAppState::loadFinishForLaunchpad() { record("loadFinishForLaunchpad"); }
void FakeAppState::setBResetHotFile(bool reset) { record("setBResetHotFile", reset ? "1" : "0"); }
void FakeAppState::showLaunchpadForTab(const std::string& tab) {
  record("showLaunchpadForTab", tab);
}

std::shared_ptr<platform::OperationQueue> FakeAppState::taskQueue() {
  std::lock_guard lock(mutex_);
  if (!taskQueue_) taskQueue_ = std::make_shared<platform::OperationQueue>(4);
  return taskQueue_;
}

std::vector<std::shared_ptr<BaseWebWindowController>> FakeAppState::checkCurrent(int64_t mountId) {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<BaseWebWindowController>> found;
  for (const auto& [key, window] : windows_) {
    if (key.first == mountId) found.push_back(window);
  }
  return found;
}

std::vector<std::shared_ptr<BaseWebWindowController>> FakeAppState::checkCurrent(
    int64_t mountId, const std::string& webpath) {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<BaseWebWindowController>> found;
  for (const auto& [key, window] : windows_) {
    if (key.first == mountId && key.second == webpath) found.push_back(window);
  }
  return found;
}

void FakeAppState::gCompareNotifyReset(const std::string& json) {
  record("gCompareNotifyReset", json);
}

void FakeAppState::lastUpdateDatelineForLaunchpad(const std::string& json) {
  record("lastUpdateDatelineForLaunchpad", json);
}

std::string FakeAppState::favritePathString() {
  std::lock_guard lock(mutex_);
  return favoritesPath_;
}

bool FakeAppState::findFavorite(const std::string& folder) {
  return !linkTo(favritePathString(), folder).empty();
}

bool FakeAppState::initFavoriteFind(const std::string& folder) {
  const bool known = findFavorite(folder);
  record("initFavoriteFind", folder);
  return known;
}

void FakeAppState::initFavoriteClear() { record("initFavoriteClear"); }

void FakeAppState::deleteFavorite(const std::string& folder) {
  std::error_code ec;
  if (const auto link = linkTo(favritePathString(), folder); !link.empty()) {
    std::filesystem::remove(link, ec);
  }
  record("deleteFavorite", folder);
}

void FakeAppState::uploadSyncDb() { record("uploadSyncDb"); }

void FakeAppState::setGrowlNotificationDescripation(const std::string& description,
                                                     const std::optional<std::string>& context) {
  record("setGrowlNotificationDescripation", description + (context ? "|" + *context : ""));
}

}  // namespace nb::test
