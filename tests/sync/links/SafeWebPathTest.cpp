#include "sync/links/SafeWebPath.h"

#include <string>

#include <gtest/gtest.h>

namespace nb {
namespace {

using namespace std::string_literals;

TEST(SafeWebPathTest, RefusesEveryNameThatLeavesOrBlursTheFolder) {
  struct Case {
    std::string path;
    bool safe;
  };
  const Case cases[] = {
      {"", true},
      {"a", true},
      {"a/b/c.txt", true},
      {"a/b/", true},
      {"..a/b..", true},
      {".hidden/...", true},
      {"a\\..\\b", true},  // a backslash is an ordinary character here
      {"/", false},
      {"/abs", false},
      {"../x", false},
      {"..", false},
      {".", false},
      {"a/../../b", false},
      {"a/./b", false},
      {"a/..", false},
      {"a//b", false},
      {"a/b//", false},
      {"a\0b"s, false},
      {"a/\0"s, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(isSafeWebPath(c.path), c.safe) << "'" << c.path << "'";
  }
}

TEST(SafeWebPathTest, PathUnderFolderIsExactAndStopsAtNames) {
  EXPECT_TRUE(isPathUnder("/l/Docs", "/l/Docs"));
  EXPECT_TRUE(isPathUnder("/l/Docs/", "/l/Docs"));
  EXPECT_TRUE(isPathUnder("/l/Docs/a", "/l/Docs/"));
  EXPECT_FALSE(isPathUnder("/l/Docs2/a", "/l/Docs"));
  EXPECT_FALSE(isPathUnder("/l/docs/a", "/l/Docs"));
  EXPECT_FALSE(isPathUnder("/l", "/l/Docs"));
}

TEST(SafeWebPathTest, FolderNamesBecomeOneComponent) {
  EXPECT_EQ(safeFolderName("Team/Finance"), "Team_Finance");
  EXPECT_EQ(safeFolderName(".."), "_");
  EXPECT_EQ(safeFolderName(""), "_");
  EXPECT_EQ(safeFolderName("a\0b"s), "a_b");
  EXPECT_EQ(safeFolderName("Docs"), "Docs");
}

}  // namespace
}  // namespace nb
