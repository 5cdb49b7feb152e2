// The process-wide state: its services and the seams it registers.

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/util/UtilWebPackage.h"
#include "shell/app/AppDelegate.h"
#include "shell/app/ProcessState.h"
#include "support/TempHome.h"
#include "transfer/engine/Network.h"

namespace nb::test {
namespace {

class RecordingPlayer final : public platform::SoundPlayer {
 public:
  bool play(const std::filesystem::path& file) override {
    std::lock_guard lock(mutex_);
    played_.push_back(file);
    return true;
  }
  std::vector<std::filesystem::path> played() const {
    std::lock_guard lock(mutex_);
    return played_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::filesystem::path> played_;
};

class AppDelegateTest : public TempHome {
 protected:
  std::shared_ptr<AppDelegate> make() {
    return std::make_shared<AppDelegate>(AppDelegate::Options{
        .resourceFolders = {root() / "user", root() / "bundle"}, .soundPlayer = player});
  }
  std::shared_ptr<RecordingPlayer> player = std::make_shared<RecordingPlayer>();
};

TEST_F(AppDelegateTest, HttpsWhenTheConfigurationOrTheUserAsks) {
  struct Case {
    bool server;
    bool user;
    bool https;
  };
  const Case cases[] = {{false, false, false}, {true, false, true}, {false, true, true},
                        {true, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.server << c.user);
    auto app = make();
    auto info = std::make_shared<ServerInfo>(ServerInfo::Folders{});
    info->setBHttps(c.server);
    app->setServerInfo(info);
    app->setBUseHttps(c.user);
    EXPECT_EQ(app->checkUseHttps(), c.https);
    EXPECT_EQ(app->bUseHttps(), c.user);
  }
  EXPECT_FALSE(make()->checkUseHttps());  // no configuration yet
}

TEST_F(AppDelegateTest, AMissingSoundPlaysNothing) {
  std::filesystem::create_directories(root() / "bundle");
  std::ofstream(root() / "bundle" / "msg.wav") << "RIFF";
  auto app = make();
  EXPECT_FALSE(app->playSoundWithKey("missing"));
  EXPECT_FALSE(app->playSoundWithKey("../bundle/msg"));
  EXPECT_FALSE(app->playSoundWithKey(""));
  EXPECT_TRUE(player->played().empty());
  EXPECT_TRUE(app->playSoundWithKey("msg"));
  EXPECT_EQ(player->played(), (std::vector<std::filesystem::path>{root() / "bundle" / "msg.wav"}));
}

TEST_F(AppDelegateTest, StartsWithTheDocumentedValues) {
  auto app = make();
  EXPECT_EQ(app->appServerVersionString(), "0.0.0.0");
  EXPECT_EQ(app->updateStatusInteger(), AppDelegate::kUpdateNone);
  EXPECT_FALSE(app->bLoginFinish());
  EXPECT_NE(app->taskQueue(), nullptr);
}

TEST_F(AppDelegateTest, LanguageFollowsTheSetting) {
  struct Case {
    std::int64_t setting;
    const char* web;
    const char* request;
  };
  const Case cases[] = {{2, "en-us", "en-us;q=1,en"},
                        {3, "zh-tw", "zh-tw;q=1,zh"},
                        {1, "zh-cn", "zh-cn;q=1,zh"},
                        {0, "zh-cn", "zh-cn;q=1,zh"}};
  auto app = make();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    app->setLanguage(c.setting);
    EXPECT_EQ(app->languageWithWebUrlString(), c.web);
    EXPECT_EQ(app->languageWithRequestString(), c.request);
    EXPECT_NE(app->languageBundle(), nullptr);
  }
}

TEST_F(AppDelegateTest, MessageCountKeepsTheBadgeText) {
  auto app = make();
  app->gSetMessageCount(R"({"count":3})");
  EXPECT_EQ(app->strMessageCount(), "3");
  app->gSetMessageCount(R"({"count":0})");
  EXPECT_EQ(app->strMessageCount(), std::nullopt);
}

// Starting the process state leaves none of the lower layers' questions to
// the shell unanswered, and stopping takes every answer back.
TEST_F(AppDelegateTest, StartRegistersEverySeam) {
  auto app = ProcessState::start(make());
  EXPECT_EQ(Util::getAppDelegate(), app);
  const SessionHooks hooks = UserData::sessionHooks();
  EXPECT_TRUE(hooks.clearuserinfo);
  EXPECT_TRUE(hooks.reloadAccountSettings);
  EXPECT_TRUE(hooks.update2to3);
  EXPECT_TRUE(Util::hasApplicationActiveQuery());
  EXPECT_EQ(Network::shareNetwork().get(), &transfer::Network::shareNetwork());

  ProcessState::stop();
  EXPECT_NE(Network::shareNetwork().get(), &transfer::Network::shareNetwork());
  EXPECT_NE(Util::getAppDelegate(), app);
  EXPECT_FALSE(UserData::sessionHooks().clearuserinfo);
  EXPECT_FALSE(Util::hasApplicationActiveQuery());
}

}  // namespace
}  // namespace nb::test
