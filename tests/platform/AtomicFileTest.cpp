#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "platform/AtomicFile.h"
#include "support/TempHome.h"

namespace nb::platform {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(AtomicFile, ReplacesTheWholeFileAndLeavesNothingBeside) {
  const fs::path dir = test::makeTempDir();
  const fs::path file = dir / "config.json";
  ASSERT_TRUE(writeFileAtomically(file, std::string(100000, 'a')));
  ASSERT_TRUE(writeFileAtomically(file, "short"));
  EXPECT_EQ(readFile(file), "short");
  EXPECT_EQ(readWholeFile(file), "short");
  EXPECT_FALSE(readWholeFile(dir));
  EXPECT_FALSE(readWholeFile(dir / "none"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  fs::remove_all(dir);
}

TEST(AtomicFile, FailureLeavesTheOldContent) {
  const fs::path dir = test::makeTempDir();
  EXPECT_FALSE(writeFileAtomically(dir / "missing" / "file", "x"));
  // A folder in the way of the rename: the write fails and no temporary stays.
  fs::create_directories(dir / "taken" / "inner");
  EXPECT_FALSE(writeFileAtomically(dir / "taken", "x"));
  EXPECT_TRUE(fs::is_directory(dir / "taken" / "inner"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace nb::platform
