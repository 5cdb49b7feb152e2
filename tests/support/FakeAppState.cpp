#include "support/FakeAppState.h"

#include <algorithm>

#include "api/server/ServerInfo.h"
#include "platform/MainThread.h"

namespace nb::test {

void FakeAppState::setServerInfo(std::shared_ptr<ServerInfo> info) {
  std::lock_guard lock(mutex_);
  serverInfo_ = std::move(info);
}

void FakeAppState::setUserAgent(std::string agent) {
  std::lock_guard lock(mutex_);
  userAgent_ = std::move(agent);
}

void FakeAppState::setLanguage(std::string code) {
  std::lock_guard lock(mutex_);
  language_ = std::move(code);
}

void FakeAppState::setUseHttps(bool on) {
  std::lock_guard lock(mutex_);
  useHttps_ = on;
}

std::vector<FakeAppState::Call> FakeAppState::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<PageEvent> FakeAppState::pageEvents() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::size_t FakeAppState::count(const std::string& name) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(
      calls_.begin(), calls_.end(), [&](const Call& call) { return call.name == name; }));
}

void FakeAppState::clear() {
  std::lock_guard lock(mutex_);
  calls_.clear();
  events_.clear();
}

void FakeAppState::record(std::string name, std::string argument) {
  const bool onMain = platform::MainThread::isMainThread();
  std::function<void(const std::string&)> hook;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back({name, std::move(argument), onMain});
    hook = onCall_;
  }
  if (hook) hook(name);
}

std::shared_ptr<ServerInfo> FakeAppState::serverInfo() {
  std::lock_guard lock(mutex_);
  return serverInfo_;
}

std::string FakeAppState::userAgentString() {
  std::lock_guard lock(mutex_);
  return userAgent_;
}

std::string FakeAppState::languageWithRequestString() {
  std::lock_guard lock(mutex_);
  if (language_ == "zh-tw") {
    return "zh-tw;q=1,zh";
  }
  return language_ == "zh-cn" ? "zh-cn;q=1,zh" : "en-us;q=1,en";
}

std::string FakeAppState::languageWithWebUrlString() {
  std::lock_guard lock(mutex_);
  return language_;
}

bool FakeAppState::bUseHttps() {
  std::lock_guard lock(mutex_);
  return useHttps_;
}

bool FakeAppState::checkUseHttps() {
  std::lock_guard lock(mutex_);
  return useHttps_ || (serverInfo_ && serverInfo_->bHttps());
}

bool FakeAppState::bLinkNetwork() {
  std::lock_guard lock(mutex_);
  return linkNetwork_;
}

void FakeAppState::setLinkStatus(bool up) {
  {
    std::lock_guard lock(mutex_);
    linkNetwork_ = up;
  }
  record("setLinkStatus", up ? "1" : "0");
}

void FakeAppState::gSetMessageCount(const std::string& json) { record("gSetMessageCount", json); }
void FakeAppState::refreshWithLoginByTokenError() { record("refreshWithLoginByTokenError"); }
void FakeAppState::logoutByError() { record("logoutByError"); }

void FakeAppState::loginResultOnMainThread(const std::string& kind, std::int64_t code,
                                           const std::string& message) {
  record("loginResultOnMainThread", kind + "|" + std::to_string(code) + "|" + message);
}

void FakeAppState::checkServerAppandUI() { record("checkServerAppandUI"); }
void FakeAppState::checkBySqlToLogin() { record("checkBySqlToLogin"); }
void FakeAppState::setBSqlite2To3(bool running) { record("setBSqlite2To3", running ? "1" : "0"); }

void FakeAppState::setAllCustomEvent(const PageEvent& event) {
  record("setAllCustomEvent", event.name());
  std::lock_guard lock(mutex_);
  events_.push_back(event);
}

void FakeAppState::openwith(const std::string& path) { record("openwith", path); }
void FakeAppState::setBUpdateUI(bool waiting) { record("setBUpdateUI", waiting ? "1" : "0"); }
void FakeAppState::refreshWithUIByLoginFinish() { record("refreshWithUIByLoginFinish"); }

ScopedAppState::ScopedAppState() : fake_(std::make_shared<FakeAppState>()) {
  setAppDelegate(fake_);
}

ScopedAppState::~ScopedAppState() { setAppDelegate(nullptr); }

}  // namespace nb::test
