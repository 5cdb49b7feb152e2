// The settings page's functions against stores on temp files, a transfer
// engine that is never started and the real application delegate for the
// switches other threads read.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "bridge/functions/HotKeyRegistrar.h"
#include "bridge/functions/PageWorld.h"
#include "foundation/util/UtilStatus.h"
#include "shell/app/AppDelegate.h"
#include "stores/catalogue/Mountsdb.h"
#include "stores/localstorage/LocalStorage.h"
#include "stores/settings/SettingsDb.h"
#include "transfer/engine/Network.h"

namespace nb::test {
namespace {

class SettingsPagesTest : public PageWorld {
 protected:
  void SetUp() override {
    PageWorld::SetUp();
    settings().initpath((root() / "vesettings3.db").string());
    LocalStorage::shareLocalStorage().init((root() / "velocalstorage3.db").string(), true);
    engine = std::make_unique<transfer::Network>(
        transfer::Network::Options{.transActions = &transActions});
    restoreNetwork = nb::Network::shareNetwork();
    nb::Network::setNetwork(std::shared_ptr<nb::Network>(std::shared_ptr<void>(), engine.get()));
    bridge::setHotKeyRegistrar([this](const std::vector<std::string>& keys) { hotKeys = keys; });
  }
  void TearDown() override {
    UserData::shareUserData().setignore("");  // the session outlives the test
    bridge::setHotKeyRegistrar(nullptr);
    nb::Network::setNetwork(restoreNetwork);
    engine.reset();
    PageWorld::TearDown();
  }

  static SettingsDb& settings() { return SettingsDb::shareSettingDb(); }
  // The new store starts with most switches on.
  static void allOff() {
    settings().setlocal(false);
    settings().setdelete2recyclebin(false);
    settings().setmsg(false);
    settings().setmsgsound(false);
    settings().setclickreadonly(false);
    settings().setprompt(false);
  }

  // Runs `name` with the real delegate registered, as the shell would have it.
  void withDelegate(const std::string& name, const std::string& json) {
    setAppDelegate(delegate);
    run(name, json);
    setAppDelegate(app_.get());
  }

  std::shared_ptr<AppDelegate> delegate = std::make_shared<AppDelegate>();
  TransActionCounter transActions;
  std::unique_ptr<transfer::Network> engine;
  std::shared_ptr<nb::Network> restoreNetwork;
  std::vector<std::string> hotKeys{"unset"};
};

TEST_F(SettingsPagesTest, ClientInfoReportsTheStoredRecord) {
  allOff();
  settings().setlocal(true);
  settings().setUploadMax(3);
  settings().setmsgsound(true);
  UserData::shareUserData().setDevicename("");
  delegate->setAppVersionString("4.2.0");
  setAppDelegate(delegate);
  const JsonValue info = answer("gGetClientInfo", "");
  setAppDelegate(app_.get());

  EXPECT_EQ(jsonInt64(info, "local"), 1);
  EXPECT_EQ(jsonInt64(info, "uploadmax"), 3);
  EXPECT_EQ(jsonInt64(info, "msgsound"), 1);
  EXPECT_EQ(jsonInt64(info, "https"), 0);
  EXPECT_EQ(jsonInt64(info, "startsync"), 1);
  EXPECT_TRUE(info["startsync"].isNumber());
  EXPECT_EQ(jsonTextOrEmpty(info, "version"), "4.2.0");
  EXPECT_EQ(jsonTextOrEmpty(info, "configpath"), UserData::shareUserData().configPath());
  EXPECT_EQ(jsonTextOrEmpty(info, "devicename"), UserData::shareUserData().getcomputer());
}

TEST_F(SettingsPagesTest, SwitchesAreStoredAndTheirCompanionsFollow) {
  allOff();
  withDelegate("gSetClientInfo",
               R"({"local":true,"recycle":1,"https":true,"msg":"1","msgsound":true,)"
               R"("clickreadonly":true,"prompt":true,"proxy":true,"auto":false})");
  const SettingInfo s = settings().getSettingInfo().value();
  EXPECT_TRUE(s.local && s.recycle && s.https && s.msg && s.msgsound && s.clickreadonly);
  EXPECT_FALSE(s.autorun);
  EXPECT_FALSE(s.prompt);  // read-only here
  EXPECT_FALSE(s.proxy);
  EXPECT_TRUE(delegate->bLocalNetwork());
  EXPECT_TRUE(delegate->bRecyclebin());
  EXPECT_TRUE(delegate->bUseHttps());
  EXPECT_TRUE(delegate->bPromptMessage());
  EXPECT_TRUE(delegate->bMessageSound());

  // Only what differs from the record is written: a companion changed
  // behind the store's back stays as it is for an unchanged value.
  delegate->setBLocalNetwork(false);
  withDelegate("gSetClientInfo", R"({"local":true,"msg":false})");
  EXPECT_FALSE(delegate->bLocalNetwork());
  EXPECT_FALSE(delegate->bPromptMessage());
  EXPECT_FALSE(settings().getmsg());
}

TEST_F(SettingsPagesTest, TransferLimitsAreAtLeastOne) {
  struct Case {
    const char* json;
    std::int64_t upload;
    std::int64_t download;
    std::int64_t engineUpload;
  };
  settings().setUploadMax(3);
  settings().setDownloadMax(3);
  engine->SetUTaskMax(9);  // tells whether the engine was touched
  const Case cases[] = {
      {R"({"uploadmax":3})", 3, 3, 9},     // unchanged: nothing written or applied
      {R"({"uploadmax":0})", 1, 3, 1},     // a queue of width 0 would never run
      {R"({"uploadmax":-4,"downloadmax":7})", 1, 7, 1},
      {R"({"uploadmax":6})", 6, 7, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    run("gSetClientInfo", c.json);
    EXPECT_EQ(settings().getUploadMax(), c.upload);
    EXPECT_EQ(settings().getDownloadMax(), c.download);
    EXPECT_EQ(engine->uManager().nTaskMax(), c.engineUpload);
  }
  EXPECT_EQ(engine->dManager().nTaskMax(), 7);
}

TEST_F(SettingsPagesTest, HttpsOffKeepsHttpsWhenTheServerDemandsIt) {
  for (const bool forced : {false, true}) {
    SCOPED_TRACE(forced);
    auto info = std::make_shared<ServerInfo>(ServerInfo::Folders{});
    info->setBHttps(forced);
    delegate->setServerInfo(info);
    withDelegate("gSetClientInfo", R"({"https":true})");
    EXPECT_TRUE(delegate->checkUseHttps());
    withDelegate("gSetClientInfo", R"({"https":false})");
    EXPECT_FALSE(delegate->bUseHttps());
    EXPECT_EQ(delegate->checkUseHttps(), forced);
  }
}

TEST_F(SettingsPagesTest, NonObjectsChangeNothing) {
  allOff();
  for (const char* json : {"", "[1]", "\"x\"", "nope"}) {
    SCOPED_TRACE(json);
    run("gSetClientInfo", json);
    run("gChangeLanguage", json);
    run("gSetLocalCache", json);
  }
  EXPECT_FALSE(settings().getlocal());
  EXPECT_EQ(settings().getlanguage(), 1);
  EXPECT_EQ(jsonInt64(answer("gSetShortcutHotkey", "[]"), "error"), Util::kBadParameters);
}

TEST_F(SettingsPagesTest, LanguageIsStoredForTheNextStart) {
  EXPECT_EQ(json(answer("gGetLanguage", "")), R"({"type":1})");
  run("gChangeLanguage", R"({"type":"2"})");
  EXPECT_EQ(json(answer("gGetLanguage", "")), R"({"type":2})");
}

TEST_F(SettingsPagesTest, HotKeyRoundTrip) {
  EXPECT_EQ(json(answer("gGetShortcutHotkey", "")), R"({"list":[""]})");
  EXPECT_EQ(run("gCheckShortcutHotkey", ""), "0");

  EXPECT_EQ(json(answer("gSetShortcutHotkey", R"({"list":["Ctrl","Alt","K"]})")),
            R"({"result":1})");
  EXPECT_EQ(hotKeys, (std::vector<std::string>{"Ctrl", "Alt", "K"}));
  EXPECT_EQ(settings().getHotKey(), "Ctrl+Alt+K");
  EXPECT_EQ(json(answer("gGetShortcutHotkey", "")), R"({"list":["Ctrl","Alt","K"]})");
  EXPECT_EQ(run("gCheckShortcutHotkey", ""), "1");

  for (const char* cleared : {R"({"list":[]})", "{}"}) {
    SCOPED_TRACE(cleared);
    run("gSetShortcutHotkey", R"({"list":["A"]})");
    EXPECT_EQ(json(answer("gSetShortcutHotkey", cleared)), R"({"result":1})");
    EXPECT_TRUE(hotKeys.empty());
    EXPECT_EQ(settings().getHotKey(), "");
    EXPECT_EQ(run("gCheckShortcutHotkey", ""), "0");
  }
}

TEST_F(SettingsPagesTest, HotKeyWithoutRegistrarIsStillStored) {
  bridge::setHotKeyRegistrar(nullptr);
  EXPECT_EQ(json(answer("gSetShortcutHotkey", R"({"list":["F5"]})")), R"({"result":1})");
  EXPECT_EQ(settings().getHotKey(), "F5");
}

TEST_F(SettingsPagesTest, IgnoreAndOfficeLists) {
  const std::string ignore = Mountsdb::shareMountsdb().getIgnore();
  const std::string office = Mountsdb::shareMountsdb().getOffice();
  app().setLoginFinish(false);
  // The built-in lists answer before sign-in; changes wait for it.
  EXPECT_EQ(json(answer("gGetIgnore", R"({"type":"default"})")), R"({"ignore":"tmp;lik;pvm"})");
  EXPECT_EQ(json(answer("gGetPreventConflicts", R"({"type":"default"})")),
            R"({"office":"doc;docx;xls;xlsx;ppt;pptx"})");
  run("gSetIgnore", R"({"ignore":"bak"})");
  run("gSetPreventConflicts", R"({"office":"odt"})");
  EXPECT_EQ(Mountsdb::shareMountsdb().getIgnore(), ignore);
  EXPECT_EQ(Mountsdb::shareMountsdb().getOffice(), office);

  app().setLoginFinish(true);
  run("gSetIgnore", R"({"ignore":"bak;swp"})");
  run("gSetPreventConflicts", R"({"office":"odt"})");
  EXPECT_EQ(json(answer("gGetIgnore", R"({"type":"normal"})")), R"({"ignore":"bak;swp"})");
  EXPECT_EQ(json(answer("gGetPreventConflicts", R"({"type":"normal"})")), R"({"office":"odt"})");
  EXPECT_TRUE(UserData::shareUserData().checkignore("notes.SWP"));
  for (const char* other : {R"({"type":"x"})", "{}", "[]", ""}) {
    SCOPED_TRACE(other);
    EXPECT_EQ(run("gGetIgnore", other), "{}");
    EXPECT_EQ(run("gGetPreventConflicts", other), "{}");
  }
}

TEST_F(SettingsPagesTest, LocalCacheAnswersTheStoredText) {
  EXPECT_EQ(run("gGetLocalCache", R"({"key":"never"})"), "");
  run("gSetLocalCache", R"({"key":"7.view","value":"{\"grid\":1}"})");
  EXPECT_EQ(run("gGetLocalCache", R"({"key":"7.view"})"), R"({"grid":1})");
  run("gSetLocalCache", R"({"key":"7.view","value":"plain"})");
  EXPECT_EQ(run("gGetLocalCache", R"({"key":"7.view"})"), "plain");
  run("gDeleteLocalCache", R"({"key":"7.view"})");
  EXPECT_EQ(run("gGetLocalCache", R"({"key":"7.view"})"), "");
  EXPECT_EQ(run("gGetLocalCache", "[]"), "");
}

}  // namespace
}  // namespace nb::test
