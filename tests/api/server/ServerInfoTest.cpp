#include <sys/stat.h>

#include <fstream>

#include <gtest/gtest.h>

#include "api/server/ServerInfo.h"
#include "foundation/util/UtilUrl.h"
#include "support/FakeAppState.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class ServerInfoTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    folders_ = {home() / ".veskocfg", root() / "install", home() / ".veskocfg" / "bundle"};
    fs::create_directories(folders_.installDir);
  }
  void writeInstalled(const std::string& json) {
    std::ofstream(folders_.installDir / "server.json") << json;
  }
  ServerInfo::Folders folders_;
};

TEST_F(ServerInfoTest, BuiltInValuesWithoutServerFile) {
  const ServerInfo info(folders_);
  EXPECT_EQ(info.strServerHost(), ServerInfo::kBuiltinServerHost);
  EXPECT_EQ(info.strApiHost(), std::string(ServerInfo::kBuiltinServerHost) + "/m-api");
  EXPECT_EQ(info.strWebHost(), ServerInfo::kBuiltinServerHost);
  EXPECT_EQ(info.strUpdateHost(), ServerInfo::kBuiltinUpdateHost);
  EXPECT_EQ(info.strUIPath(), (home() / ".veskocfg" / "UI").string());
  EXPECT_FALSE(info.bHttps());
  EXPECT_FALSE(info.bDebugMenu());
  EXPECT_TRUE(info.bChangeUpdateHost());
  EXPECT_FALSE(info.bChangeServerHost());
  EXPECT_EQ(info.tlsMode(), ServerInfo::TlsMode::System);
}

TEST_F(ServerInfoTest, ServerFileVariants) {
  struct Case {
    const char* json;
    const char* server;
    const char* api;
    const char* web;
    bool https;
    bool debug;
  };
  const Case cases[] = {
      {R"({"serverhost":"s.example"})", "s.example", "s.example/m-api", "s.example", false, false},
      {R"({"apihost":"a.example/x"})", "www.nubren.com", "a.example/x", "www.nubren.com", false,
       false},
      {R"({"webhost":"w.example","https":"1","debug":0})", "www.nubren.com",
       "www.nubren.com/m-api", "w.example", true, false},
      {R"({"serverhost":"","https":0,"debug":2})", "www.nubren.com", "www.nubren.com/m-api",
       "www.nubren.com", false, true},
      {R"({"serverhost":5,"https":-1,"debug":"0"})", "www.nubren.com", "www.nubren.com/m-api",
       "www.nubren.com", false, false},
      {R"(["serverhost","s.example"])", "www.nubren.com", "www.nubren.com/m-api",
       "www.nubren.com", false, false},
      {"not json", "www.nubren.com", "www.nubren.com/m-api", "www.nubren.com", false, false},
  };
  for (const Case& c : cases) {
    writeInstalled(c.json);
    const ServerInfo info(folders_);
    EXPECT_EQ(info.strServerHost(), c.server) << c.json;
    EXPECT_EQ(info.strApiHost(), c.api) << c.json;
    EXPECT_EQ(info.strWebHost(), c.web) << c.json;
    EXPECT_EQ(info.bHttps(), c.https) << c.json;
    EXPECT_EQ(info.bDebugMenu(), c.debug) << c.json;
  }
}

TEST_F(ServerInfoTest, FixedServerHostStaysButDerivedHostsFollow) {
  writeInstalled(R"({"serverhost":"fixed.example","webhost":"web.example"})");
  ServerInfo info(folders_);
  info.setServerHost("other.example");
  EXPECT_EQ(info.strServerHost(), "fixed.example");
  EXPECT_EQ(info.strWebHost(), "web.example");
  EXPECT_EQ(info.strApiHost(), "fixed.example/m-api");

  writeInstalled(R"({"updatehost":"u.example","branch":"beta","uipath":"/opt/ui"})");
  ServerInfo free(folders_);
  free.setServerHost("other.example");
  EXPECT_EQ(free.strServerHost(), "other.example");
  EXPECT_EQ(free.strWebHost(), "other.example");
  EXPECT_EQ(free.strApiHost(), "other.example/m-api");
  EXPECT_EQ(free.strUpdateHost(), "u.example");
  EXPECT_EQ(free.strUpdateBranch(), "beta");
  EXPECT_EQ(free.strUIPath(), "/opt/ui");
}

TEST_F(ServerInfoTest, ReadOnlyInstalledFileIsRead) {
  writeInstalled(R"({"https":1})");
  ::chmod((folders_.installDir / "server.json").c_str(), 0444);
  ::chmod(folders_.installDir.c_str(), 0555);
  const ServerInfo info(folders_);
  ::chmod(folders_.installDir.c_str(), 0755);
  EXPECT_TRUE(info.bHttps());
}

TEST_F(ServerInfoTest, PassportIsBuiltInUnlessTheServerFileNamesOne) {
  EXPECT_EQ(ServerInfo(folders_).strPassport(), ServerInfo::kBuiltinPassport);
  writeInstalled(R"({"passport":""})");
  EXPECT_EQ(ServerInfo(folders_).strPassport(), ServerInfo::kBuiltinPassport);
  writeInstalled(R"({"passport":"127.0.0.1:8443"})");
  EXPECT_EQ(ServerInfo(folders_).strPassport(), "127.0.0.1:8443");
}

TEST_F(ServerInfoTest, OverrideFolderWinsOverInstalledFile) {
  writeInstalled(R"({"serverhost":"installed.example"})");
  fs::create_directories(folders_.overrideDir);
  std::ofstream(folders_.overrideDir / "server.json") << R"({"serverhost":"override.example"})";
  EXPECT_EQ(ServerInfo(folders_).strServerHost(), "override.example");
}

TEST_F(ServerInfoTest, TlsSwitchIsOffByDefaultAndReadFromServerFile) {
  writeInstalled(R"({"cafile":"certs/ca.pem"})");
  const ServerInfo withCa(folders_);
  EXPECT_EQ(withCa.tlsMode(), ServerInfo::TlsMode::CAFile);
  EXPECT_EQ(withCa.strCAFile(), (folders_.installDir / "certs/ca.pem").string());

  writeInstalled(R"({"insecure":1})");
  const ServerInfo insecure(folders_);
  EXPECT_EQ(insecure.tlsMode(), ServerInfo::TlsMode::Insecure);
  EXPECT_TRUE(insecure.strCAFile().empty());

  writeInstalled(R"({"insecure":0,"cafile":""})");
  EXPECT_EQ(ServerInfo(folders_).tlsMode(), ServerInfo::TlsMode::System);

  writeInstalled(R"({"insecure":1,"cafile":"/etc/ca.pem"})");
  EXPECT_EQ(ServerInfo(folders_).tlsMode(), ServerInfo::TlsMode::CAFile);
}

TEST_F(ServerInfoTest, CurrentIsTheShellsOrAFallback) {
  EXPECT_NE(ServerInfo::current(), nullptr);
  test::ScopedAppState app;
  auto info = std::make_shared<ServerInfo>(folders_);
  app->setServerInfo(info);
  EXPECT_EQ(ServerInfo::current(), info);
}

TEST_F(ServerInfoTest, ServerFileForcesHttpsForUrlForms) {
  test::ScopedAppState app;
  auto info = std::make_shared<ServerInfo>(folders_);
  app->setServerInfo(info);
  EXPECT_EQ(Util::getDealWithHttpsOrHttpUrl("a.com"), "http://a.com");
  info->setBHttps(true);
  EXPECT_EQ(Util::getDealWithHttpsOrHttpUrl("a.com"), "https://a.com");
}

}  // namespace
}  // namespace nb
