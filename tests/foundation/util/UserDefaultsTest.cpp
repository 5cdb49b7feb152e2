#include "foundation/util/UserDefaults.h"

#include <sys/stat.h>

#include <fstream>

#include "platform/AtomicFile.h"
#include "support/TempHome.h"

namespace nb {
namespace {

class UserDefaultsTest : public test::TempHome {
 protected:
  std::string path() const { return (root() / "cfg/userdefaults.json").string(); }
};

TEST_F(UserDefaultsTest, ValuesSurviveAReadBackAndTheFileIsOwnerOnly) {
  UserDefaults defaults(path());
  EXPECT_EQ(defaults.stringForKey("version_nubren"), std::nullopt);
  defaults.setObject("1.2", "version_nubren");
  defaults.setObject("quote \" and ü", "note");
  defaults.setObject("gone", "temp");
  defaults.removeObjectForKey("temp");
  ASSERT_TRUE(defaults.synchronize());

  UserDefaults reread(path());
  EXPECT_EQ(reread.stringForKey("version_nubren"), "1.2");
  EXPECT_EQ(reread.stringForKey("note"), "quote \" and ü");
  EXPECT_EQ(reread.stringForKey("temp"), std::nullopt);
  struct stat st {};
  ASSERT_EQ(::stat(path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultsTest, BrokenFileOrOtherKindsCountAsAbsent) {
  std::filesystem::create_directories(root() / "cfg");
  std::ofstream(path()) << R"({"a":"text","n":5,"o":{"x":"y"}})";
  UserDefaults mixed(path());
  EXPECT_EQ(mixed.stringForKey("a"), "text");
  EXPECT_EQ(mixed.stringForKey("n"), std::nullopt);
  EXPECT_EQ(mixed.stringForKey("o"), std::nullopt);

  std::ofstream(path()) << "{broken";
  UserDefaults broken(path());
  EXPECT_EQ(broken.stringForKey("a"), std::nullopt);
  broken.setObject("b", "a");
  ASSERT_TRUE(broken.synchronize());
  EXPECT_EQ(platform::readWholeFile(path()), R"({"a":"b"})");
}

}  // namespace
}  // namespace nb
