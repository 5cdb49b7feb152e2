#include <cstdlib>

#include <gtest/gtest.h>

#include "platform/AppFolders.h"
#include "support/TempHome.h"

namespace nb::platform {
namespace {

class AppFoldersTest : public test::TempHome {};

TEST_F(AppFoldersTest, HomeFollowsTheEnvironmentAndIsNeverEmpty) {
  EXPECT_EQ(homeFolder(), home());
  EXPECT_EQ(configFolder(), home() / ".veskocfg");
  setenv("HOME", "", 1);
  EXPECT_FALSE(homeFolder().empty());
  unsetenv("HOME");
  EXPECT_FALSE(homeFolder().empty());
}

TEST_F(AppFoldersTest, UninstalledBuildReadsTheSourceDataFolder) {
  EXPECT_EQ(installDataFolder(), std::filesystem::path(NB_SOURCE_DATA_DIR));
  EXPECT_TRUE(std::filesystem::exists(installDataFolder() / "lang" / "en.json"));
}

}  // namespace
}  // namespace nb::platform
