#include "foundation/app/AppState.h"

#include <atomic>

namespace nb {
namespace {

// The state callers meet while no shell is registered: answers what a
// signed-out client without windows would, and ignores every command.
class NullAppState final : public AppState {
 public:
  std::shared_ptr<ServerInfo> serverInfo() override { return nullptr; }
  std::string userAgentString() override { return {}; }
  std::string languageWithRequestString() override { return "en-us;q=1,en"; }
  std::string languageWithWebUrlString() override { return "en-us"; }
  bool bUseHttps() override { return false; }
  bool checkUseHttps() override { return false; }
  bool bLoginFinish() override { return false; }
  bool bLinkNetwork() override { return true; }
  void setLinkStatus(bool) override {}
  void gSetMessageCount(const std::string&) override {}
  void refreshWithLoginByTokenError() override {}
  void logoutByError() override {}
  void loginResultOnMainThread(const std::string&, std::int64_t, const std::string&) override {}
  void checkServerAppandUI() override {}
  void checkBySqlToLogin() override {}
  void setBSqlite2To3(bool) override {}
  void setAllCustomEvent(const PageEvent&) override {}
  void openwith(const std::string&) override {}
  void setBUpdateUI(bool) override {}
  void refreshWithUIByLoginFinish() override {}
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
