#include "foundation/app/AppState.h"

#include <atomic>

#include "platform/Log.h"

namespace nb {
namespace {

// The state callers meet while no shell is registered: answers what a
// signed-out client without windows would, and drops the commands with an
// error in the log.
class NullAppState final : public AppState {
 public:
  std::shared_ptr<ServerInfo> serverInfo() override { return nullptr; }
  std::string userAgentString() override { return {}; }
  std::string languageWithRequestString() override { return "en-us;q=1,en"; }
  std::string languageWithWebUrlString() override { return "en-us"; }
  bool bUseHttps() override { return false; }
  bool checkUseHttps() override { return false; }
  bool bLinkNetwork() override { return true; }
  void setLinkStatus(bool) override { missing("setLinkStatus"); }
  void gSetMessageCount(const std::string&) override { missing("gSetMessageCount"); }
  void refreshWithLoginByTokenError() override { missing("refreshWithLoginByTokenError"); }
  void logoutByError() override { missing("logoutByError"); }
  void loginResultOnMainThread(const std::string&, std::int64_t, const std::string&) override {
    missing("loginResultOnMainThread");
  }
  void checkServerAppandUI() override { missing("checkServerAppandUI"); }
  void checkBySqlToLogin() override { missing("checkBySqlToLogin"); }
  void setBSqlite2To3(bool) override { missing("setBSqlite2To3"); }
  void setAllCustomEvent(const PageEvent&) override { missing("setAllCustomEvent"); }
  void openwith(const std::string&) override { missing("openwith"); }
  void setBUpdateUI(bool) override { missing("setBUpdateUI"); }
  void refreshWithUIByLoginFinish() override { missing("refreshWithUIByLoginFinish"); }

  bool bLockScreen() override { return false; }
  bool bRecyclebin() override { return false; }
  bool bPromptMessage() override { return false; }
  bool bNeedLoading() override { return false; }
  void setBNeedLoading(bool) override {}
  void loadFinishForLaunchpad() override { missing("loadFinishForLaunchpad"); }
  void setBResetHotFile(bool) override { missing("setBResetHotFile"); }
  void showLaunchpadForTab(const std::string&) override { missing("showLaunchpadForTab"); }
  std::shared_ptr<platform::OperationQueue> taskQueue() override {
    missing("taskQueue");
    return nullptr;
  }
  std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(int64_t) override {
    return {};
  }
  std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(
      int64_t, const std::string&) override {
    return {};
  }
  void gCompareNotifyReset(const std::string&) override { missing("gCompareNotifyReset"); }
  void lastUpdateDatelineForLaunchpad(const std::string&) override {
    missing("lastUpdateDatelineForLaunchpad");
  }
  std::string favritePathString() override {
    missing("favritePathString");
    return {};
  }
  bool findFavorite(const std::string&) override { return false; }
  bool initFavoriteFind(const std::string&) override { return false; }
  void initFavoriteClear() override { missing("initFavoriteClear"); }
  void deleteFavorite(const std::string&) override { missing("deleteFavorite"); }
  void uploadSyncDb() override { missing("uploadSyncDb"); }
  void setGrowlNotificationDescripation(const std::string&,
                                        const std::optional<std::string>&) override {
    missing("setGrowlNotificationDescripation");
  }

 private:
  // A command that reaches no shell has no sensible silent default: it is a
  // wiring fault worth seeing.
  static void missing(const char* what) {
    NBLOG_ERROR("no application shell registered for {}", what);
  }
};

std::atomic<std::shared_ptr<AppState>>& registered() {
  static std::atomic<std::shared_ptr<AppState>> state;
  return state;
}

const std::shared_ptr<AppState>& nullState() {
  static const std::shared_ptr<AppState> state = std::make_shared<NullAppState>();
  return state;
}

}  // namespace

void setAppDelegate(std::shared_ptr<AppState> state) { registered().store(std::move(state)); }

namespace Util {

std::shared_ptr<AppState> getAppDelegate() {
  std::shared_ptr<AppState> state = registered().load();
  return state ? state : nullState();
}

}  // namespace Util
}  // namespace nb
