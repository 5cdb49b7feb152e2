#pragma once
// A recording application state for tests: answers what the test set, and
// keeps every command it receives (name and argument) in order, so a test can
// assert on page events, sign-out calls and the message count.
//
//   test::ScopedAppState app;           // registered until the scope ends
//   app->setLanguage("zh-tw");
//   ... code under test ...
//   EXPECT_EQ(app->count("logoutByError"), 1);

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "foundation/app/AppState.h"

namespace nb::test {

// A web window for tests: keeps the events its page received, in order.
class FakeWebWindow : public BaseWebWindowController {
 public:
  void setCustomEvent(const PageEvent& event) override;
  std::vector<PageEvent> events() const;

 private:
  mutable std::mutex mutex_;
  std::vector<PageEvent> events_;  // guarded by mutex_
};

class FakeAppState : public AppState {
 public:
  // One command: its method name and its argument as text ("" when none;
  // "1"/"0" for flags; kind|code|message for a sign-in result; the event
  // name for a page event, whose detail is in pageEvents()).
  struct Call {
    std::string name;
    std::string argument;
    // Whether the command arrived on the main thread (platform::MainThread);
    // not part of equality, so expectations can be written as {name, arg}.
    bool onMainThread = false;
    bool operator==(const Call& other) const {
      return name == other.name && argument == other.argument;
    }
  };

  // --- What the fake answers (set by the test) -------------------------------
  void setServerInfo(std::shared_ptr<ServerInfo> info);
  void setUserAgent(std::string agent);
  // "en-us", "zh-tw" or "zh-cn"; the Accept-Language text follows it.
  void setLanguage(std::string code);
  void setUseHttps(bool on);
  void setLinkNetwork(bool up);
  void setLockScreen(bool on);
  void setRecyclebin(bool on);
  void setPromptMessage(bool on);
  void setNeedLoading(bool needed);
  // The favourites folder favritePathString answers ("" until set). The
  // fake knows a favourites link when the folder holds a symbolic link to
  // the asked folder, as the shell's scan at start-up would.
  void setFavoritesPath(std::string path);
  // A window that checkCurrent answers for the library and folder.
  std::shared_ptr<FakeWebWindow> addWindow(int64_t mountId, std::string webpath);
  // Runs on the caller's thread at every recorded command, outside the
  // fake's lock, before the command returns: lets a test hold a thread
  // inside a call (a page event waiting for the main thread).
  void setOnCall(std::function<void(const std::string& name)> hook);

  // --- What the fake recorded ----------------------------------------------------
  std::vector<Call> calls() const;
  std::vector<PageEvent> pageEvents() const;
  // How many commands of that name arrived.
  std::size_t count(const std::string& name) const;
  void clear();

  // --- AppState ----------------------------------------------------------------------
  std::shared_ptr<ServerInfo> serverInfo() override;
  std::string userAgentString() override;
  std::string languageWithRequestString() override;
  std::string languageWithWebUrlString() override;
  bool bUseHttps() override;
  bool checkUseHttps() override;
  bool bLinkNetwork() override;
  void setLinkStatus(bool up) override;
  void gSetMessageCount(const std::string& json) override;
  void refreshWithLoginByTokenError() override;
  void logoutByError() override;
  void loginResultOnMainThread(const std::string& kind, std::int64_t code,
                               const std::string& message) override;
  void checkServerAppandUI() override;
  void checkBySqlToLogin() override;
  void setBSqlite2To3(bool running) override;
  void setAllCustomEvent(const PageEvent& event) override;
  void openwith(const std::string& path) override;
  void setBUpdateUI(bool waiting) override;
  void refreshWithUIByLoginFinish() override;

  bool bLockScreen() override;
  bool bRecyclebin() override;
  bool bPromptMessage() override;
  bool bNeedLoading() override;
  void setBNeedLoading(bool needed) override;
  void loadFinishForLaunchpad() override;
  void setBResetHotFile(bool reset) override;
  void showLaunchpadForTab(const std::string& tab) override;
  std::shared_ptr<platform::OperationQueue> taskQueue() override;
  std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(int64_t mountId) override;
  std::vector<std::shared_ptr<BaseWebWindowController>> checkCurrent(
      int64_t mountId, const std::string& webpath) override;
  void gCompareNotifyReset(const std::string& json) override;
  void lastUpdateDatelineForLaunchpad(const std::string& json) override;
  std::string favritePathString() override;
  bool findFavorite(const std::string& folder) override;
  bool initFavoriteFind(const std::string& folder) override;
  void initFavoriteClear() override;
  void deleteFavorite(const std::string& folder) override;
  void uploadSyncDb() override;
  void setGrowlNotificationDescripation(const std::string& description,
                                        const std::optional<std::string>& context) override;

 private:
  void record(std::string name, std::string argument = {});

  mutable std::mutex mutex_;  // guards every field below
  std::shared_ptr<ServerInfo> serverInfo_;
  std::string userAgent_;
  std::string language_ = "zh-cn";
  bool useHttps_ = false;
  bool linkNetwork_ = true;
  bool lockScreen_ = false;
  bool recyclebin_ = false;
  bool promptMessage_ = false;
  bool needLoading_ = false;
  std::string favoritesPath_;
  std::vector<std::pair<std::pair<int64_t, std::string>, std::shared_ptr<FakeWebWindow>>> windows_;
  std::shared_ptr<platform::OperationQueue> taskQueue_;
  std::function<void(const std::string&)> onCall_;
  std::vector<Call> calls_;
  std::vector<PageEvent> events_;
};

// Registers a new FakeAppState for its lifetime and restores the default
// state afterwards.
class ScopedAppState {
 public:
  ScopedAppState();
  ~ScopedAppState();
  ScopedAppState(const ScopedAppState&) = delete;
  ScopedAppState& operator=(const ScopedAppState&) = delete;

  FakeAppState* operator->() const { return fake_.get(); }
  FakeAppState& operator*() const { return *fake_; }
  const std::shared_ptr<FakeAppState>& get() const { return fake_; }

 private:
  std::shared_ptr<FakeAppState> fake_;
};

}  // namespace nb::test
