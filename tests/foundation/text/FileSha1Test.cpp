#include "foundation/text/StringHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

// The reference value from coreutils.
std::string sha1sumOf(const fs::path& file) {
  const std::string cmd = "sha1sum '" + file.string() + "'";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(cmd.c_str(), "r"), pclose);
  if (!pipe) return {};
  char line[128] = {};
  if (fgets(line, sizeof line, pipe.get()) == nullptr) return {};
  return std::string(line).substr(0, 40);
}

class FileSha1 : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test::makeTempDir("nbsha1"); }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path write(const std::string& name, const std::string& content) {
    const fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

  fs::path dir_;
};

TEST_F(FileSha1, EqualsSha1sumOnEmptyAndSmallFiles) {
  const fs::path empty = write("empty", "");
  EXPECT_EQ(FileMD5HashCreateWithPath(empty), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(FileMD5HashCreateWithPath(empty), sha1sumOf(empty));

  std::string content;
  for (int i = 0; i < 10000; ++i) content += static_cast<char>(i * 7 + i / 13);
  const fs::path small = write("small \xe4\xb8\xad.bin", content);
  EXPECT_EQ(FileMD5HashCreateWithPath(small), sha1sumOf(small));
  EXPECT_EQ(FileMD5HashCreateWithPath(small), sha1HexDigest(content));
}

TEST_F(FileSha1, ChunkSizeDoesNotChangeTheHash) {
  std::string content(3 * 4096 + 17, 'x');
  const fs::path file = write("f", content);
  const auto expected = sha1HexDigest(content);
  for (size_t readSize : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}, size_t{1} << 20}) {
    EXPECT_EQ(FileMD5HashCreateWithPath(file, readSize), expected) << readSize;
  }
}

TEST_F(FileSha1, EqualsSha1sumOnMultiGibSparseFile) {
  const fs::path big = dir_ / "sparse";
  { std::ofstream(big) << "head"; }
  fs::resize_file(big, (uint64_t{3} << 30) + 5);  // past 2^31 and 2^32-1 offsets
  {
    std::fstream out(big, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(-4, std::ios::end) << "tail";
  }
  const auto hash = FileMD5HashCreateWithPath(big);
  ASSERT_TRUE(hash);
  EXPECT_EQ(*hash, sha1sumOf(big));
}

TEST_F(FileSha1, NothingForFolderOrMissingFile) {
  EXPECT_EQ(FileMD5HashCreateWithPath(dir_.string()), std::nullopt);
  EXPECT_EQ(FileMD5HashCreateWithPath((dir_ / "missing").string()), std::nullopt);
  EXPECT_EQ(FileMD5HashCreateWithPath(""), std::nullopt);
}

}  // namespace
}  // namespace nb
