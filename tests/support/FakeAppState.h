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
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/app/AppState.h"

namespace nb::test {

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
  // Signed out until set.
  void setLoginFinish(bool finished);

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
  bool bLoginFinish() override;
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

 private:
  void record(std::string name, std::string argument = {});

  mutable std::mutex mutex_;  // guards every field below
  std::shared_ptr<ServerInfo> serverInfo_;
  std::string userAgent_;
  std::string language_ = "zh-cn";
  bool useHttps_ = false;
  bool loginFinish_ = false;
  bool linkNetwork_ = true;
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
