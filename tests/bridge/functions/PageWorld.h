#pragma once
// Page functions against the sync test world: a signed-in session with the
// real sync engine, one browser window of the window double with its page
// bridge, and every built group of page-function bodies registered. Bodies
// run on the test thread, which is the main thread, as the dispatcher would
// run them; answers come back as text or parsed JSON.

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "bridge/dispatch/NBWebViewDelegate.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/dispatch/jsFunction.h"
#include "bridge/functions/PageFunctionGroups.h"
#include "bridge/script/PageFunctions.h"
#include "foundation/json/Json.h"
#include "foundation/text/StringHelpers.h"
#include "shell/windows/BrowserWebWindowController.h"
#include "stores/cache/SyncCache.h"
#include "support/FakeUi.h"
#include "support/PumpMainThread.h"
#include "support/SyncWorld.h"

namespace nb::test {

class PageWorld : public SyncWorld {
 protected:
  static constexpr const char* kPage = "file:///opt/nb/UI/index.html";

  void SetUp() override {
    SyncWorld::SetUp();
    pumpMainThread();
    app().setLoginFinish(true);
    controller = BrowserWebWindowController::create(*ui, "sole", "");
    window = &ui->lastWindow();
    bridge = bridge::NBWebViewDelegate::install(controller,
                                                bridge::TrustedOrigins({"/opt/nb/UI"}, {}));
    controller->setStrUrl(kPage);
    controller->reload(false);
    bridge::registerPageFunctionGroups();
  }
  void TearDown() override {
    bridge::jsFunction::sharedInstance().operationQueue().waitUntilAllOperationsAreFinished();
    if (auto queue = app().taskQueue()) queue->waitUntilAllOperationsAreFinished();
    pumpMainThread();
    // Every body goes back, as before the test, so tests of the dispatcher
    // that rely on unbuilt functions do not depend on the order of tests.
    for (const bridge::PageFunction& f : bridge::pageFunctions()) {
      bridge::setPageHandler(f.name, nullptr);
    }
    SyncWorld::TearDown();
  }

  // The body of `name` with the JSON text, as the dispatcher runs it.
  std::optional<std::string> run(const std::string& name, const std::string& json,
                                 std::optional<std::string> callbackId = std::nullopt) {
    bridge::PageCall call;
    call.name = name;
    call.args = {json};
    call.callbackId = std::move(callbackId);
    call.bridge = bridge;
    return bridge::pageHandler(name)(call, *controller);
  }
  // The answer parsed (a bare number or text too); fails the test without one.
  JsonValue answer(const std::string& name, const std::string& json) {
    const std::optional<std::string> text = run(name, json);
    EXPECT_TRUE(text.has_value()) << name << " gave no answer";
    if (!text) return {};
    const std::optional<JsonValue> value = dictionaryFromString(*text);
    EXPECT_TRUE(value.has_value()) << name << ": " << *text;
    return value.value_or(JsonValue());
  }
  static std::string json(const JsonValue& value) { return JSONString(value).value(); }
  // Puts `bytes` into the content cache; answers their hash.
  std::string cacheBytes(const std::string& bytes) {
    const std::filesystem::path file = home() / "cached.tmp";
    std::ofstream(file, std::ios::binary) << bytes;
    const std::string hash = sha1HexDigest(bytes);
    EXPECT_TRUE(SyncCache::shareSyncCache().addCacheFileByPath(file.string(), hash));
    std::filesystem::remove(file);
    return hash;
  }

  ScopedFakeUi ui;
  std::shared_ptr<BrowserWebWindowController> controller;
  FakeUiWindow* window = nullptr;
  std::shared_ptr<bridge::NBWebViewDelegate> bridge;
};

}  // namespace nb::test
