#include "stores/common/StoreSeams.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "api/session/TestUserData.h"
#include "stores/syncdb/Syncdb.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class StoreSeamsTest : public test::TempHome {
 protected:
  void TearDown() override {
    UserData::setSessionHooks({});
    TempHome::TearDown();
  }
};

// Registered, the migration converts an old sync store with the real
// conversion, and the session's other hooks stay as they were.
TEST_F(StoreSeamsTest, RegistersTheSyncStoreConversionAlone) {
  bool cleared = false;
  UserData::setSessionHooks({.clearuserinfo = [&] { cleared = true; },
                             .reloadAccountSettings = {},
                             .update2to3 = {}});
  registerStoreSeams();
  UserData::sessionHooks().clearuserinfo();
  EXPECT_TRUE(cleared);

  auto user = test::makeTestUserData(home());
  user->setUserID(7);
  const fs::path folder = fs::path(user->getuserfolderpath()) / "5";
  fs::create_directories(folder);
  std::ofstream(folder / "vesyncdbex.db") << "";
  std::vector<std::string> files;
  user->findFileByPath(user->getuserfolderpath(), files);
  EXPECT_EQ(files, std::vector<std::string>{(folder / "vesyncdbex.db").string()});
  EXPECT_TRUE(Syncdb::initpath((folder / "vesyncdbex3.db").string()));
}

}  // namespace
}  // namespace nb
