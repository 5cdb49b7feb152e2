#include "bridge/functions/LockScreenPageFunctions.h"

#include <optional>
#include <string>

#include "bridge/chrome/AppChrome.h"
#include "bridge/dispatch/PageHandlers.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "foundation/util/UtilUrl.h"
#include "platform/Log.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

// The page's arguments when they are a JSON object; nothing otherwise.
std::optional<JsonValue> objectArgument(const PageCall& call) {
  auto parsed = dictionaryFromString(call.json());
  if (parsed && parsed->isObject()) return parsed;
  return std::nullopt;
}

Answer answered(std::string answer) {
  NBLOG_DEBUG("{}", answer);
  return answer;
}

Answer state(bool on) { return answered(on ? R"({"state":1})" : R"({"state":0})"); }

Answer failed() { return answered(Util::errorInfoWithCode(Util::kStatusFailed)); }

Answer gSetLockScreenPassword(const PageCall& call, WebWindowController&) {
  auto chrome = AppChrome::current("gSetLockScreenPassword");
  if (!chrome) return failed();
  if (const auto args = objectArgument(call)) {
    chrome->screenLock().setPassword(jsonInt64(*args, "enable") != 0,
                                     jsonNumberOrText(*args, "password"));
  }
  return answered(Util::errorInfoWithCode(0, ""));
}

Answer gSetLockScreen(const PageCall&, WebWindowController&) {
  NBLOG_INFO("gSetLockScreen");
  if (auto chrome = AppChrome::current("gSetLockScreen")) chrome->screenLock().lock();
  return std::nullopt;
}

Answer gLoginLockScreen(const PageCall& call, WebWindowController&) {
  auto chrome = AppChrome::current("gLoginLockScreen");
  if (!chrome) return failed();
  // Arguments that are no object unlock nothing, so they are a wrong password.
  const auto args = objectArgument(call);
  if (args && chrome->screenLock().unlock(jsonNumberOrText(*args, "password"))) {
    return answered(Util::errorInfoWithCode(0, ""));
  }
  return answered(Util::errorInfoWithCode(1, Util::localizedStringForKey("密码错误")));
}

Answer gIsSetLockScreen(const PageCall&, WebWindowController&) {
  auto chrome = AppChrome::current("gIsSetLockScreen");
  return chrome ? state(chrome->screenLock().isSet()) : failed();
}

Answer gIsLockingScreen(const PageCall&, WebWindowController&) {
  auto chrome = AppChrome::current("gIsLockingScreen");
  return chrome ? state(chrome->screenLock().isLocked()) : failed();
}

}  // namespace

void registerLockScreenPageFunctions() {
  setPageHandler("gSetLockScreenPassword", gSetLockScreenPassword);
  setPageHandler("gSetLockScreen", gSetLockScreen);
  setPageHandler("gLoginLockScreen", gLoginLockScreen);
  setPageHandler("gIsSetLockScreen", gIsSetLockScreen);
  setPageHandler("gIsLockingScreen", gIsLockingScreen);
}

}  // namespace nb::bridge
