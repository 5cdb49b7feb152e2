// The login item follows the autorun setting at start-up.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "foundation/util/UtilSession.h"
#include "shell/app/LoginItem.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

class LoginItemTest : public TempHome {
 protected:
  fs::path entry() const { return home() / ".config/autostart/nubren.desktop"; }
  static std::string read(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(LoginItemTest, TheAutostartEntryAppearsAndGoesWithTheSetting) {
  syncLoginItemWithAutorun(false);
  EXPECT_FALSE(fs::exists(entry()));

  syncLoginItemWithAutorun(true);
  ASSERT_TRUE(fs::exists(entry()));
  EXPECT_TRUE(Util::findAppAsLoginItem());
  EXPECT_NE(read(entry()).find(Util::kAutostartArgument), std::string::npos);

  syncLoginItemWithAutorun(false);
  EXPECT_FALSE(fs::exists(entry()));
  EXPECT_FALSE(Util::findAppAsLoginItem());
}

TEST_F(LoginItemTest, AnEntryThatIsAlreadyThereIsLeftAlone) {
  Util::addAppAsLoginItem();
  // A user's own key in the entry shows whether it was written again.
  { std::ofstream(entry(), std::ios::app) << "X-Mark=kept\n"; }
  syncLoginItemWithAutorun(true);
  EXPECT_NE(read(entry()).find("X-Mark=kept"), std::string::npos);
}

}  // namespace
}  // namespace nb::test
