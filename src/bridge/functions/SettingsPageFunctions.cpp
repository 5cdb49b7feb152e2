#include "bridge/functions/SettingsPageFunctions.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/session/UserData.h"
#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/functions/HotKeyRegistrar.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/functions/TransferEngine.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "shell/app/AppDelegate.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/localstorage/LocalStorage.h"
#include "stores/settings/SettingsDb.h"
#include "sync/centre/SyncCenter.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

// The settings row; without one, what the single getters would answer.
SettingInfo settingsRecord() {
  if (std::optional<SettingInfo> info = SettingsDb::shareSettingDb().getSettingInfo()) {
    return *info;
  }
  SettingInfo fallback;
  fallback.nUploadMax = SettingsDb::shareSettingDb().getUploadMax();
  fallback.nDownloadMax = SettingsDb::shareSettingDb().getDownloadMax();
  return fallback;
}

std::shared_ptr<AppDelegate> appDelegate() {
  auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate());
  if (!app) NBLOG_ERROR("no application delegate is registered: a setting is not applied");
  return app;
}

std::string gGetClientInfo() {
  const SettingInfo s = settingsRecord();
  const UserData& session = UserData::shareUserData();
  std::string device = session.devicename();
  if (device.empty()) device = session.getcomputer();
  const auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate());
  const auto flag = [](bool on) { return std::int64_t{on ? 1 : 0}; };
  return pageAnswer(JsonObjectBuilder()
                        .set("auto", flag(s.autorun))
                        .set("clickreadonly", flag(s.clickreadonly))
                        .set("uploadmax", s.nUploadMax)
                        .set("downloadmax", s.nDownloadMax)
                        .set("prompt", flag(s.prompt))
                        .set("local", flag(s.local))
                        .set("recycle", flag(s.recycle))
                        .set("proxy", flag(s.proxy))
                        .set("https", flag(s.https))
                        .set("msg", flag(s.msg))
                        .set("msgsound", flag(s.msgsound))
                        .set("startsync", 1)
                        .set("version", app ? app->appVersionString() : std::string())
                        .set("configpath", session.configPath())
                        .set("devicestatus", flag(session.devicestatus()))
                        .set("devicename", device)
                        .build());
}

struct Switch {
  const char* key;
  bool SettingInfo::*field;
  void (SettingsDb::*store)(bool);
  void (AppDelegate::*companion)(bool);  // null: none
};

// In the order the page's changes are applied.
const Switch kSwitches[] = {
    {"auto", &SettingInfo::autorun, &SettingsDb::setautorun, nullptr},
    {"local", &SettingInfo::local, &SettingsDb::setlocal, &AppDelegate::setBLocalNetwork},
    {"recycle", &SettingInfo::recycle, &SettingsDb::setdelete2recyclebin,
     &AppDelegate::setBRecyclebin},
    {"https", &SettingInfo::https, &SettingsDb::sethttps, &AppDelegate::setBUseHttps},
    {"msg", &SettingInfo::msg, &SettingsDb::setmsg, &AppDelegate::setBPromptMessage},
    {"msgsound", &SettingInfo::msgsound, &SettingsDb::setmsgsound, &AppDelegate::setBMessageSound},
};

void applySwitch(const JsonValue& args, const SettingInfo& current, const Switch& s) {
  if (!args.contains(s.key)) return;
  const bool on = jsonFlag(args, s.key);
  if (on == current.*(s.field)) return;
  (SettingsDb::shareSettingDb().*(s.store))(on);
  if (!s.companion) return;
  if (const auto app = appDelegate()) (*app.*(s.companion))(on);
}

// A limit below one would leave the transfer queue with no room at all.
void applyLimit(const JsonValue& args, const char* key, std::int64_t current, bool upload) {
  if (!args.contains(key)) return;
  const std::int64_t limit = std::max<std::int64_t>(1, jsonInt64(args, key));
  if (limit == current) return;
  SettingsDb& settings = SettingsDb::shareSettingDb();
  upload ? settings.setUploadMax(limit) : settings.setDownloadMax(limit);
  if (const auto engine = transferEngine()) {
    upload ? engine->SetUTaskMax(limit) : engine->SetDTaskMax(limit);
  }
}

void gSetClientInfo(const PageCall& call) {
  NBLOG_INFO("{}", call.json());
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return;
  const SettingInfo current = settingsRecord();
  for (const Switch& s : kSwitches) applySwitch(*args, current, s);
  applyLimit(*args, "uploadmax", current.nUploadMax, true);
  applyLimit(*args, "downloadmax", current.nDownloadMax, false);
  if (args->contains("clickreadonly")) {
    const bool on = jsonFlag(*args, "clickreadonly");
    if (on != current.clickreadonly) SettingsDb::shareSettingDb().setclickreadonly(on);
  }
}

std::vector<std::string> splitKeys(const std::string& text) {
  std::vector<std::string> keys;
  std::string::size_type start = 0;
  for (;;) {
    const std::string::size_type plus = text.find('+', start);
    keys.push_back(text.substr(start, plus - start));
    if (plus == std::string::npos) return keys;
    start = plus + 1;
  }
}

std::string gGetShortcutHotkey() {
  std::vector<JsonValue> list;
  for (std::string& key : splitKeys(SettingsDb::shareSettingDb().getHotKey().value_or(""))) {
    list.emplace_back(std::move(key));
  }
  std::string answer = pageAnswer(JsonValue::object({{"list", JsonValue::array(std::move(list))}}));
  NBLOG_DEBUG("{}", answer);
  return answer;
}

Answer gSetShortcutHotkey(const PageCall& call) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return Util::errorInfoWithCode(Util::kBadParameters);
  std::vector<std::string> keys;
  const JsonValue& list = (*args)["list"];
  if (list.isArray()) {
    for (const JsonValue& element : list.elements()) {
      if (element.isString()) keys.emplace_back(element.asString());
    }
  }
  registerHotKey(keys);
  std::string joined;
  for (const std::string& key : keys) joined += (joined.empty() ? "" : "+") + key;
  SettingsDb::shareSettingDb().setHotKey(joined);
  return pageAnswer(JsonValue::object({{"result", 1}}));
}

std::string gCheckShortcutHotkey() {
  const std::string answer = SettingsDb::shareSettingDb().getHotKey().value_or("").empty() ? "0" : "1";
  NBLOG_DEBUG("{}", answer);
  return answer;
}

// {"<key>": the stored list} for "normal", {"<key>": the built-in one} for
// "default", {} otherwise.
std::string typedList(const PageCall& call, const char* key, std::string (Mountsdb::*stored)(),
                      std::string_view builtIn) {
  const std::optional<JsonValue> args = pageObject(call);
  const std::string type = args ? jsonTextOrEmpty(*args, "type") : std::string();
  if (type == "normal") {
    return pageAnswer(JsonValue::object({{key, (Mountsdb::shareMountsdb().*stored)()}}));
  }
  if (type == "default") return pageAnswer(JsonValue::object({{key, std::string(builtIn)}}));
  return "{}";
}

// The signed-in session's user id with the object argument; nothing
// before sign-in, for a non-object or without a user.
std::optional<JsonValue> userChange(const PageCall& call) {
  NBLOG_INFO("{}", call.json());
  if (!NBWebViewDelegate::checkLogin()) return std::nullopt;
  std::optional<JsonValue> args = pageObject(call);
  if (!args || UserData::shareUserData().userID() < 1) return std::nullopt;
  return args;
}

void gSetIgnore(const PageCall& call) {
  const std::optional<JsonValue> args = userChange(call);
  if (!args) return;
  const std::string ignore = jsonTextOrEmpty(*args, "ignore");
  Mountsdb::shareMountsdb().setIgnore(ignore);
  UserData::shareUserData().setignore(ignore);
  SyncCenter::shareSyncCenter().resetsync();
}

void gSetPreventConflicts(const PageCall& call) {
  const std::optional<JsonValue> args = userChange(call);
  if (args) Mountsdb::shareMountsdb().setOffice(jsonTextOrEmpty(*args, "office"));
}

// A page call's "key" when the argument is an object with a text key.
std::optional<std::string> cacheKey(const std::optional<JsonValue>& args) {
  if (!args) return std::nullopt;
  return jsonText(*args, "key");
}

void registerClientAndLanguage() {
  setPageBody("gGetClientInfo", [](const PageCall& c) { return Answer(loggedAnswer(c, gGetClientInfo())); });
  setPageBody("gSetClientInfo", [](const PageCall& c) {
    gSetClientInfo(c);
    return Answer();
  });
  setPageBody("gGetLanguage", [](const PageCall& c) {
    const std::int64_t type = SettingsDb::shareSettingDb().getlanguage();
    return Answer(loggedAnswer(c, pageAnswer(JsonValue::object({{"type", type}}))));
  });
  setPageBody("gChangeLanguage", [](const PageCall& c) {
    NBLOG_INFO("{}", c.json());
    // Read at the next start only: the open windows keep their language.
    if (const auto args = pageObject(c)) {
      SettingsDb::shareSettingDb().setlanguage(jsonInt64(*args, "type"));
    }
    return Answer();
  });
}

void registerHotKeyFunctions() {
  setPageBody("gGetShortcutHotkey", [](const PageCall&) { return Answer(gGetShortcutHotkey()); });
  setPageBody("gSetShortcutHotkey", gSetShortcutHotkey);
  setPageBody("gCheckShortcutHotkey", [](const PageCall&) { return Answer(gCheckShortcutHotkey()); });
}

void registerListFunctions() {
  setPageBody("gGetIgnore", [](const PageCall& c) {
    return Answer(loggedAnswer(c, typedList(c, "ignore", &Mountsdb::getIgnore,
                                            Mountsdb::kDefaultIgnore)));
  });
  setPageBody("gSetIgnore", [](const PageCall& c) {
    gSetIgnore(c);
    return Answer();
  });
  setPageBody("gGetPreventConflicts", [](const PageCall& c) {
    return Answer(loggedAnswer(c, typedList(c, "office", &Mountsdb::getOffice,
                                            Mountsdb::kDefaultOffice)));
  });
  setPageBody("gSetPreventConflicts", [](const PageCall& c) {
    gSetPreventConflicts(c);
    return Answer();
  });
}

void registerLocalCache() {
  setPageBody("gSetLocalCache", [](const PageCall& c) {
    NBLOG_INFO("{}", c.json());
    const std::optional<JsonValue> args = pageObject(c);
    if (const auto key = cacheKey(args)) {
      LocalStorage::shareLocalStorage().insertItem(*key, jsonTextOrEmpty(*args, "value"));
    }
    return Answer();
  });
  // The stored text as it is: the answer path sends JSON text as its value
  // and an empty text as the plain success status.
  setPageBody("gGetLocalCache", [](const PageCall& c) {
    const auto key = cacheKey(pageObject(c));
    return Answer(loggedAnswer(c, key ? LocalStorage::shareLocalStorage().getItem(*key) : ""));
  });
  setPageBody("gDeleteLocalCache", [](const PageCall& c) {
    NBLOG_INFO("{}", c.json());
    if (const auto key = cacheKey(pageObject(c))) LocalStorage::shareLocalStorage().deleteItem(*key);
    return Answer();
  });
}

}  // namespace

void registerSettingsPageFunctions() {
  registerClientAndLanguage();
  registerHotKeyFunctions();
  registerListFunctions();
  registerLocalCache();
}

}  // namespace nb::bridge
