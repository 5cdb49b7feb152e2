#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "api/session/UserData.h"
#include "foundation/json/Json.h"
#include "support/FakeAppState.h"
#include "support/FakeAuthEndpoints.h"
#include "support/FakeService.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;
using test::FakeAuthEndpoints;
using test::FakeService;

constexpr const char* kAnswer =
    R"({"client_setting":"{\"client_name\":\"Acme Drive\",\"about_name\":\"About Acme\",)"
    R"(\"about_url\":\"http://acme/about\",\"login_width\":640,\"login_height\":\"480\",\"upgrade_mode\":1}",)"
    R"("other":"kept as received"})";

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& file, const std::string& text) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// A passport on one fake service naming a deployment server on another,
// whose API lives under "/m-api" as a named server host's does.
class ConfigDiscoveryTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    folders_ = {root() / "config", root() / "install", root() / "override"};
    passportAuth_.setDomain("acme", deployment_.host());
    deploymentAuth_.setConfigAnswer("acme", kAnswer);
  }

  std::shared_ptr<ServerInfo> makeServerInfo() {
    auto info = std::make_shared<ServerInfo>(folders_);
    info->setStrPassport(passport_.host());
    app_->setServerInfo(info);
    return info;
  }

  fs::path overrideFile(const char* name) const { return folders_.overrideDir / "config" / name; }
  void writeSource(const std::string& source) {
    writeFile(overrideFile("source.json"), R"({"source":")" + source + R"("})");
  }

  // A host:port where nothing listens any more.
  static std::string deadHost() {
    FakeService gone;
    return gone.host();
  }

  test::ScopedAppState app_;
  ServerInfo::Folders folders_;
  FakeService passport_;
  FakeService deployment_;
  FakeAuthEndpoints passportAuth_{passport_};
  FakeAuthEndpoints deploymentAuth_{deployment_, "/m-api"};
};

TEST_F(ConfigDiscoveryTest, LiveServerNamesTheHostsAndTheBrandingWhichIsCached) {
  writeSource("acme");
  auto info = makeServerInfo();
  info->checkConfig();
  EXPECT_EQ(info->strSource(), "acme");
  EXPECT_EQ(info->strServerHost(), deployment_.host());
  EXPECT_EQ(info->strApiHost(), deployment_.host() + "/m-api");
  EXPECT_EQ(UserData::shareUserData().strServerHost(), deployment_.host());
  EXPECT_EQ(info->strConfigInfo(), kAnswer);
  EXPECT_EQ(readFile(overrideFile("config.json")), kAnswer);
  EXPECT_EQ(info->strTitleName(), "Acme Drive");
  EXPECT_EQ(info->strAboutName(), "About Acme");
  EXPECT_EQ(info->strAboutUrl(), "http://acme/about");
  EXPECT_EQ(info->nWitdh(), 640);
  EXPECT_EQ(info->nHeight(), 480);
  EXPECT_TRUE(info->bShowUpdate());
  const auto call = deployment_.callsTo("/m-api/1/config/source");
  ASSERT_EQ(call.size(), 1u);
  EXPECT_EQ(call[0].signatureValid, true);
}

TEST_F(ConfigDiscoveryTest, DeadServerFallsBackToTheCache) {
  writeSource("acme");
  writeFile(overrideFile("config.json"), kAnswer);
  auto info = makeServerInfo();
  info->setStrPassport(deadHost());
  info->setStrApiHost(deadHost());
  const std::string apiHost = info->strApiHost();
  info->checkConfig();
  EXPECT_EQ(info->strApiHost(), apiHost);
  EXPECT_EQ(info->strConfigInfo(), kAnswer);
  EXPECT_EQ(info->strTitleName(), "Acme Drive");
  EXPECT_EQ(info->nHeight(), 480);
  EXPECT_EQ(readFile(overrideFile("config.json")), kAnswer);
}

TEST_F(ConfigDiscoveryTest, DeadServerWithoutCacheKeepsTheDefaults) {
  writeSource("acme");
  auto info = makeServerInfo();
  info->setStrPassport(deadHost());
  info->setStrApiHost(deadHost());
  info->checkConfig();
  EXPECT_EQ(info->strConfigInfo(), "");
  EXPECT_EQ(info->strTitleName(), "");
  EXPECT_EQ(info->nWitdh(), 0);
  EXPECT_FALSE(info->bShowUpdate());
  EXPECT_FALSE(fs::exists(overrideFile("config.json")));
}

TEST_F(ConfigDiscoveryTest, WithoutSourceFileTheBuiltInHostsStayAndTheCacheStillBrands) {
  writeFile(folders_.installDir / "config" / "config.json",
            R"({"client_setting":"{\"client_name\":\"Shipped\",\"login_width\":800}"})");
  auto info = makeServerInfo();
  info->checkConfig();
  EXPECT_EQ(info->strServerHost(), ServerInfo::kBuiltinServerHost);
  EXPECT_EQ(info->strApiHost(), std::string(ServerInfo::kBuiltinServerHost) + "/m-api");
  EXPECT_EQ(info->strTitleName(), "Shipped");
  EXPECT_EQ(info->nWitdh(), 800);
  EXPECT_EQ(info->nHeight(), 0);  // the sign-in window keeps its own size
  EXPECT_FALSE(info->bShowUpdate());
  EXPECT_TRUE(passport_.calls().empty());
}

TEST_F(ConfigDiscoveryTest, AnswerWithoutClientSettingIsNeitherKeptNorCached) {
  for (const char* answer : {R"({"other":1})", R"({"client_setting":""})", R"({"client_setting":{"a":1}})"}) {
    deploymentAuth_.setConfigAnswer("acme", answer);
    writeSource("acme");
    auto info = makeServerInfo();
    info->checkConfig();
    EXPECT_EQ(info->strConfigInfo(), "") << answer;
    EXPECT_FALSE(fs::exists(overrideFile("config.json"))) << answer;
  }
}

TEST_F(ConfigDiscoveryTest, ResetSourceWritesEscapedJsonOnceAndDiscovers) {
  auto info = makeServerInfo();
  info->resetSource("acme");
  EXPECT_EQ(readFile(overrideFile("source.json")), R"({"source":"acme"})");
  EXPECT_EQ(info->strTitleName(), "Acme Drive");

  // A stored source is never replaced.
  info->resetSource("other");
  EXPECT_EQ(readFile(overrideFile("source.json")), R"({"source":"acme"})");

  // Quotes and backslashes in a source cannot break the file.
  fs::remove(overrideFile("source.json"));
  auto fresh = makeServerInfo();
  fresh->resetSource(R"(a"b\c)");
  const auto json = objectFromJSONString(readFile(overrideFile("source.json")));
  ASSERT_TRUE(json);
  EXPECT_EQ((*json)["source"].asString(), R"(a"b\c)");
  EXPECT_EQ(fresh->strSource(), R"(a"b\c)");
}

TEST_F(ConfigDiscoveryTest, ResetSourceDoesNothingWhenTheInstalledFileExists) {
  writeFile(folders_.installDir / "config" / "source.json", R"({"source":"shipped"})");
  auto info = makeServerInfo();
  info->resetSource("acme");
  EXPECT_FALSE(fs::exists(overrideFile("source.json")));
  EXPECT_TRUE(passport_.calls().empty());
}

}  // namespace
}  // namespace nb
