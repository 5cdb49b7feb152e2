#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <atomic>
#include <set>
#include <thread>

#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "foundation/text/LanguageBundle.h"
#include "platform/MainThread.h"
#include "support/FakeAppState.h"
#include "support/LogCapture.h"
#include "support/PumpMainThread.h"
#include "support/TempHome.h"

namespace nb {
namespace {

TEST(AppStateDefault, UnregisteredStateIsAHarmlessButLoudNullObject) {
  test::LogCapture log;
  const auto state = Util::getAppDelegate();
  ASSERT_NE(state, nullptr);
  EXPECT_EQ(state->serverInfo(), nullptr);
  EXPECT_EQ(state->userAgentString(), "");
  EXPECT_EQ(state->languageWithWebUrlString(), "en-us");
  EXPECT_EQ(state->languageWithRequestString(), "en-us;q=1,en");
  EXPECT_FALSE(state->checkUseHttps());
  EXPECT_TRUE(log.errorLines().empty());  // questions get the signed-out answers
  state->logoutByError();
  state->setAllCustomEvent(*PageEvent::fromJsonText("LinkStatus", R"({"link":1})"));
  const auto errors = log.errorLines();
  ASSERT_EQ(errors.size(), 2u);  // every dropped command shows
  EXPECT_NE(errors[0].find("logoutByError"), std::string::npos);
  EXPECT_NE(errors[1].find("setAllCustomEvent"), std::string::npos);
}

TEST(AppStateDefault, RegistrationReplacesAndClears) {
  {
    test::ScopedAppState app;
    EXPECT_EQ(Util::getAppDelegate().get(), app.get().get());
    Util::getAppDelegate()->setLinkStatus(false);
    Util::getAppDelegate()->loginResultOnMainThread("login", 102, "refused");
    EXPECT_FALSE(app->bLinkNetwork());
    const std::vector<test::FakeAppState::Call> expected = {
        {"setLinkStatus", "0"}, {"loginResultOnMainThread", "login|102|refused"}};
    EXPECT_EQ(app->calls(), expected);
  }
  EXPECT_EQ(Util::getAppDelegate()->serverInfo(), nullptr);
  EXPECT_TRUE(Util::getAppDelegate()->bLinkNetwork());
}

TEST(AppStateFake, RecordsWhetherACommandRanOnTheMainThread) {
  test::ScopedAppState app;
  test::pumpMainThread();  // makes this thread the main thread
  std::atomic<bool> done{false};
  std::thread worker([&] {
    Util::getAppDelegate()->gSetMessageCount(R"({"count":0})");
    platform::MainThread::postAndWait([] { Util::getAppDelegate()->logoutByError(); });
    done = true;
  });
  EXPECT_TRUE(test::pumpMainThreadUntil([&] { return done.load(); }));
  worker.join();
  const auto calls = app->calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], (test::FakeAppState::Call{"gSetMessageCount", R"({"count":0})"}));
  EXPECT_FALSE(calls[0].onMainThread);
  EXPECT_EQ(calls[1].name, "logoutByError");
  EXPECT_TRUE(calls[1].onMainThread);
}

TEST(PageEventTest, NamesMustBeIdentifiers) {
  for (const char* good : {"LinkStatus", "gCheckUpdate", "_x1", "a"}) {
    EXPECT_TRUE(PageEvent::isEventName(good)) << good;
  }
  EXPECT_TRUE(PageEvent::isEventName(std::string(64, 'a')));
  const std::vector<std::string> bad_names = {"",    "1abc", "a b", "a\");alert(1);//",
                                              "a-b", "ä",    std::string(65, 'a')};
  for (const std::string& bad : bad_names) {
    EXPECT_FALSE(PageEvent::isEventName(bad)) << bad;
    EXPECT_FALSE(PageEvent::fromJsonText(bad, "{}").has_value()) << bad;
  }
}

TEST(PageEventTest, DetailIsRewrittenByOurWriter) {
  const auto event = PageEvent::fromJsonText("LinkStatus", " { \"link\" : 1 } ");
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->detail(), R"({"link":1})");
  EXPECT_EQ(event->script(),
            "var event = document.createEvent(\"CustomEvent\");"
            "event.initCustomEvent(\"LinkStatus\",true,true,{\"link\":1});"
            "document.dispatchEvent(event);");
  for (const char* bad : {"", "1);alert(1", "{\"a\":1}, alert(1)", "{", "42"}) {
    EXPECT_FALSE(PageEvent::fromJsonText("gEvent", bad).has_value()) << bad;
  }
  const auto quoted =
      PageEvent::make("gEvent", JsonValue::object({{"name", "\"});alert(1);//"}}));
  ASSERT_TRUE(quoted.has_value());
  EXPECT_EQ(quoted->detail(), R"({"name":"\"});alert(1);//"})");
}

TEST(LanguageTables, EveryTableHoldsTheSameKeys) {
  std::set<std::string> reference;
  for (const char* code : {"en-us", "zh-tw", "zh-cn"}) {
    const auto file =
        std::filesystem::path(NB_SOURCE_DATA_DIR) / "lang" / LanguageBundle::fileNameFor(code);
    std::ifstream in(file);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const auto table = objectFromJSONString(text);
    ASSERT_TRUE(table && table->isObject()) << file;
    std::set<std::string> keys;
    for (const JsonMember& member : table->members()) {
      EXPECT_TRUE(member.value().isString() && !member.value().asString().empty())
          << code << " " << member.key();
      keys.emplace(member.key());
    }
    if (reference.empty()) {
      reference = keys;
    }
    EXPECT_EQ(keys, reference) << code;
  }
}

class LanguageBundleTest : public test::TempHome {};

TEST_F(LanguageBundleTest, BrokenOrMissingFileGivesAnEmptyTable) {
  EXPECT_EQ(LanguageBundle::fromFile(root() / "absent.json")->size(), 0u);
  std::ofstream(root() / "broken.json") << "{\"a\":";
  EXPECT_EQ(LanguageBundle::fromFile(root() / "broken.json")->size(), 0u);
  std::ofstream(root() / "mixed.json") << R"({"a":"A","b":2,"c":null})";
  const auto mixed = LanguageBundle::fromFile(root() / "mixed.json");
  EXPECT_EQ(mixed->lookup("a"), "A");
  EXPECT_FALSE(mixed->lookup("b").has_value());
  EXPECT_EQ(LanguageBundle::fileNameFor("fr-fr"), "en.json");
}

}  // namespace
}  // namespace nb
