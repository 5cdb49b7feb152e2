#include "sync/links/CaseTwins.h"

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "support/TempHome.h"
#include "sync/links/LinkFolder.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// A linked local folder on the real (case-sensitive) file system whose rows
// may be spelled unlike the names on disk.
class CaseTwinsTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    folder = (root() / "Linked").string();
    fs::create_directories(folder);
    links.addNode(LinkFolderNode{"", folder, true, 2});
  }
  void touch(const std::string& relative) {
    const fs::path path = fs::path(folder) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
  }
  std::string local(const std::string& relative) const { return folder + "/" + relative; }

  std::string folder;
  LinkFolder links;
};

TEST_F(CaseTwinsTest, RowFindsTheLocalNameSpelledOtherwise) {
  touch("work/a.txt");
  EXPECT_EQ(links.normalPathByWebPath("Work/a.txt"), local("work/a.txt"));
  EXPECT_EQ(links.normalPathByWebPath("WORK/A.TXT"), local("work/a.txt"));
  // A missing file in a folder spelled otherwise keeps its own name.
  EXPECT_EQ(links.normalPathByWebPath("Work/new.txt"), local("work/new.txt"));
  // Nothing to match: the mapping stays as given.
  EXPECT_EQ(links.normalPathByWebPath("Other/x"), local("Other/x"));
  EXPECT_EQ(links.normalPathByWebPath("Other/"), local("Other/"));
  // The text-only mapping never reads the disk.
  EXPECT_EQ(links.literalPathByWebPath("Work/a.txt"), local("Work/a.txt"));
}

TEST_F(CaseTwinsTest, ExactNamesStayDistinct) {
  touch("Sync/a.txt");
  touch("sync/b.txt");
  EXPECT_EQ(links.normalPathByWebPath("Sync/a.txt"), local("Sync/a.txt"));
  EXPECT_EQ(links.normalPathByWebPath("sync/b.txt"), local("sync/b.txt"));
  // Two twins of a missing name: the first in byte order, as the scan picks.
  EXPECT_EQ(links.normalPathByWebPath("SYNC/b.txt"), local("Sync/b.txt"));
  EXPECT_EQ(links.relativeRathByFullPath(local("sync/b.txt")), "sync/b.txt");
}

TEST_F(CaseTwinsTest, NonAsciiLettersAreNotTwins) {
  // The store folds ASCII letters only, so "Ä" and "ä" are two items.
  touch("ärger.txt");
  EXPECT_EQ(links.normalPathByWebPath("Ärger.txt"), local("Ärger.txt"));
}

TEST_F(CaseTwinsTest, OneOfTwoTwinsIsSyncedAndTheOtherLoggedOnce) {
  CaseTwins twins;
  test::LogCapture log;
  const std::vector<std::string> names{"a.txt", "b.txt", "A.txt"};
  // The row's spelling wins.
  EXPECT_EQ(twins.skipped(folder, names, {"a.txt"}), std::vector<std::string>{"A.txt"});
  EXPECT_EQ(twins.skipped(folder, names, {"A.txt", "b.txt"}), std::vector<std::string>{"a.txt"});
  // Without a row, the first name in byte order.
  EXPECT_EQ(twins.skipped(folder, names, {}), std::vector<std::string>{"a.txt"});
  EXPECT_EQ(twins.skipped(folder, names, {"A.TXT"}), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(twins.skipped(folder, {"a.txt", "b.txt"}, {"A.txt"}).empty());

  size_t lines = 0;
  for (const auto& line : log.lines()) {
    if (line.find(local("a.txt")) != std::string::npos) ++lines;
  }
  EXPECT_EQ(lines, 1u);
}

TEST(CaseTwinForTest, PicksExactElseFirstInByteOrder) {
  EXPECT_EQ(caseTwinFor({"b", "Readme", "README"}, "readme"), "README");
  EXPECT_EQ(caseTwinFor({"b", "Readme", "README"}, "Readme"), "Readme");
  EXPECT_EQ(caseTwinFor({"b"}, "readme"), "");
  EXPECT_TRUE(equalsNoCase("Work", "wORK"));
  EXPECT_FALSE(equalsNoCase("Work", "Works"));
}

}  // namespace
}  // namespace nb
