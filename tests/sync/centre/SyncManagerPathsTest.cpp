#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "sync/centre/SyncManager.h"
#include "support/SyncWorld.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class SyncManagerPathsTest : public test::SyncWorld {};

TEST_F(SyncManagerPathsTest, ManagerAnswersThroughItsLinks) {
  linkFolder("docs", "Docs");
  writeLocal("Docs/a.txt", "x");
  runCoordinatorPass();
  const auto m = manager();
  ASSERT_TRUE(m);
  UserData& user = UserData::shareUserData();

  EXPECT_EQ(m->getnormalpath("DOCS/a.txt"), local("Docs/a.txt").string());
  EXPECT_EQ(m->getrelativepath(local("Docs/sub/b.txt").string()), "docs/sub/b.txt");
  EXPECT_EQ(m->getrelativepath(local("docs/b.txt").string()), "");
  EXPECT_EQ(m->gCheckEmpty("docs/a.txt", false), "0");
  EXPECT_EQ(m->gCheckEmpty("docs/none.txt", false), "1");
  EXPECT_EQ(m->gCheckEmpty("docs", true), "0");
  EXPECT_EQ(m->gCheckEmpty("other", true), "1");
  EXPECT_EQ(m->gGetNormalSyncPath("other"),
            user.getnormalsyncpath() + "/" + m->_strMountName() + "/other");
  EXPECT_EQ(m->gGetNormalSyncPath(""), user.getnormalsyncpath() + "/" + m->_strMountName());
  EXPECT_EQ(m->gGetNormalSyncPath("../x"), "");

  const std::string folder = user.getuserfolderpath() + "/" + std::to_string(kMountId);
  EXPECT_EQ(m->getsynctranscachepath(), folder + "/cache");
  EXPECT_EQ(SyncManager::getsyncdbpath(kMountId), folder + "/vesyncdbex3.db");
  EXPECT_TRUE(fs::is_directory(folder));
}

}  // namespace
}  // namespace nb
