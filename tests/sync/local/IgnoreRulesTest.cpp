#include "sync/local/IgnoreRules.h"

#include <gtest/gtest.h>

#include "api/session/UserData.h"
#include "support/TempHome.h"

namespace nb {
namespace {

struct RuleCase {
  const char* text;
  bool ignored;     // isigonore
  bool ignoredSys;  // isigonoresys
};

class IgnoreRulesTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    UserData::shareUserData().setignore("tmp;lik;pvm");
  }
  void TearDown() override {
    UserData::shareUserData().setignore("");
    TempHome::TearDown();
  }
};

TEST_F(IgnoreRulesTest, RulesReadTheWholeText) {
  const RuleCase cases[] = {
      {"/Users/u/Sync/.git/config", true, true},
      {"/Users/u/Sync/~$report.docx", true, true},
      {"/Users/u/Sync/a~b.txt", false, false},
      {"/Users/u/Sync/x.TMP", true, false},
      {"/Users/u/Sync/tmp", false, false},
      {"/Users/u/Sync/a:b.txt", true, false},
      {"/Users/u/Sync/notes.", true, false},
      {"/Users/u/Sync/smile\xF0\x9F\x98\x80.txt", true, false},
      {"/Users/u/Sync/f.pdf.nbcopy", true, true},
      {"/Users/u/Sync/f.pdf.NBCOPY", false, false},
      {".profile", false, false},
      {"docs/__MacOSX/a.txt", true, true},
      {"docs/__MACOSX", true, true},
      {"docs/__macosx", false, false},
      {"Icon\r", true, true},
      {"docs/Icon\r", true, false},
      {"docs/report.docx", false, false},
  };
  for (const RuleCase& c : cases) {
    EXPECT_EQ(isigonore(c.text), c.ignored) << c.text;
    EXPECT_EQ(isigonoresys(c.text), c.ignoredSys) << c.text;
  }
}

TEST_F(IgnoreRulesTest, UserListIsReplacedAsAWhole) {
  UserData::shareUserData().setignore("psd");
  EXPECT_TRUE(isigonore("docs/a.PSD"));
  EXPECT_FALSE(isigonore("docs/a.tmp"));
}

TEST_F(IgnoreRulesTest, LinkedFolderPathDoesNotDecide) {
  struct LinkCase {
    const char* link;
    const char* path;
    bool ignored;
  };
  const LinkCase cases[] = {
      {"/home/u/.data/Sync", "/home/u/.data/Sync/a.txt", false},
      {"/home/u/.data/Sync/", "/home/u/.data/Sync/a.txt", false},
      {"/home/u/.data/Sync", "/home/u/.data/Sync/.git/config", true},
      {"/home/u/.data/Sync", "/home/u/.data/Sync", false},
      {"/mnt/a:b", "/mnt/a:b/c.txt", false},
      {"/home/u/~Sync", "/home/u/~Sync/sub/~lock.docx", true},
      // Outside the link, or only sharing its prefix: the whole path.
      {"/home/u/.data/Sync", "/home/u/.data/Sync2/a.txt", true},
      {"/home/u/Sync", "/home/u/.other/a.txt", true},
  };
  for (const LinkCase& c : cases) {
    EXPECT_EQ(isigonoreLocal(c.path, c.link), c.ignored) << c.link << " " << c.path;
    EXPECT_EQ(isigonoresysLocal(c.path, c.link), c.ignored) << c.link << " " << c.path;
  }
  EXPECT_EQ(ruleText("/home/u/.data/Sync/a.txt", "/home/u/.data/Sync"), "/a.txt");
}

}  // namespace
}  // namespace nb
