#include "foundation/util/UtilZip.h"

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include <zip.h>

#include "platform/AtomicFile.h"
#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
  return platform::readWholeFile(path.string()).value_or("<missing>");
}

void writeText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

// Builds an archive entry by entry, the way a hostile server could.
class ArchiveBuilder {
 public:
  explicit ArchiveBuilder(const fs::path& path) {
    int error = 0;
    zip_ = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  }
  ArchiveBuilder& file(const std::string& name, const std::string& bytes) {
    add(name, bytes, S_IFREG | 0644);
    return *this;
  }
  ArchiveBuilder& link(const std::string& name, const std::string& target) {
    add(name, target, S_IFLNK | 0777);
    return *this;
  }
  bool close() { return zip_close(zip_) == 0; }

 private:
  void add(const std::string& name, const std::string& bytes, mode_t mode) {
    zip_source_t* source = zip_source_buffer(zip_, ::strdup(bytes.c_str()), bytes.size(), 1);
    const zip_int64_t index = zip_file_add(zip_, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    zip_file_set_external_attributes(zip_, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                     static_cast<zip_uint32_t>(mode) << 16);
  }
  zip_t* zip_ = nullptr;
};

class UtilZipTest : public test::TempHome {
 protected:
  fs::path src() const { return root() / "src"; }
  fs::path dst() const { return root() / "dst"; }
  fs::path archive() const { return root() / "a.zip"; }
};

TEST_F(UtilZipTest, RoundTripKeepsTreeModesTimesAndLinks) {
  writeText(src() / "index.html", "<html></html>");
  writeText(src() / "js/app.js", "run();");
  writeText(src() / "bin/tool.sh", "#!/bin/sh\n");
  fs::permissions(src() / "bin/tool.sh", fs::perms(0755));
  fs::create_directories(src() / "empty");
  fs::create_symlink("../index.html", src() / "js/home.html");
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(src() / "index.html", when);

  ASSERT_TRUE(Util::zip(src().string(), archive().string()));
  // Unpacking into a folder that already has other files keeps them and
  // replaces same-named ones.
  writeText(dst() / "index.html", "old");
  writeText(dst() / "user.txt", "mine");
  ASSERT_TRUE(Util::unzip(archive().string(), dst().string()));

  EXPECT_EQ(readText(dst() / "index.html"), "<html></html>");
  EXPECT_EQ(readText(dst() / "js/app.js"), "run();");
  EXPECT_EQ(readText(dst() / "user.txt"), "mine");
  EXPECT_TRUE(fs::is_directory(dst() / "empty"));
  EXPECT_EQ(fs::status(dst() / "bin/tool.sh").permissions() & fs::perms::all, fs::perms(0755));
  ASSERT_TRUE(fs::is_symlink(dst() / "js/home.html"));
  EXPECT_EQ(fs::read_symlink(dst() / "js/home.html"), "../index.html");
  // The zip format keeps times in two-second steps.
  EXPECT_LE(std::chrono::abs(fs::last_write_time(dst() / "index.html") - when),
            std::chrono::seconds(2));
  EXPECT_FALSE(fs::exists(dst() / "a.zip"));
}

TEST_F(UtilZipTest, ZipOfMissingFolderFails) {
  EXPECT_FALSE(Util::zip((root() / "none").string(), archive().string()));
  EXPECT_FALSE(fs::exists(archive()));
}

TEST_F(UtilZipTest, UnzipOfMissingOrBrokenArchiveFails) {
  EXPECT_FALSE(Util::unzip((root() / "none.zip").string(), dst().string()));
  writeText(archive(), "not a zip at all");
  EXPECT_FALSE(Util::unzip(archive().string(), dst().string()));
}

TEST_F(UtilZipTest, HostileArchivesAreRefusedBeforeAnythingIsWritten) {
  const struct {
    const char* why;
    const char* name;
    const char* linkTarget;  // null: a plain file
  } cases[] = {
      {"absolute name", "/tmp/nb-evil", nullptr},
      {"parent climb", "../evil.txt", nullptr},
      {"climb in the middle", "ui/../../evil.txt", nullptr},
      {"absolute link", "ui/etc", "/etc"},
      {"link climbing out", "ui/up", "../../outside"},
  };
  for (const auto& c : cases) {
    ArchiveBuilder builder(archive());
    builder.file("first.txt", "harmless");
    if (c.linkTarget == nullptr) {
      builder.file(c.name, "evil");
    } else {
      builder.link(c.name, c.linkTarget);
    }
    ASSERT_TRUE(builder.close()) << c.why;
    EXPECT_FALSE(Util::unzip(archive().string(), dst().string())) << c.why;
    EXPECT_FALSE(fs::exists(dst() / "first.txt")) << c.why;
    EXPECT_FALSE(fs::exists(root() / "evil.txt")) << c.why;
  }
}

TEST_F(UtilZipTest, EntryIsNotWrittenThroughALinkInTheTarget) {
  fs::create_directories(dst());
  fs::create_directories(root() / "outside");
  fs::create_directory_symlink(root() / "outside", dst() / "ui");
  ArchiveBuilder builder(archive());
  builder.file("ui/evil.txt", "evil");
  ASSERT_TRUE(builder.close());
  EXPECT_FALSE(Util::unzip(archive().string(), dst().string()));
  EXPECT_FALSE(fs::exists(root() / "outside/evil.txt"));
}

TEST_F(UtilZipTest, LinkInsideTheTargetIsKept) {
  ArchiveBuilder builder(archive());
  builder.file("a/real.txt", "x").link("a/b/alias.txt", "../real.txt");
  ASSERT_TRUE(builder.close());
  ASSERT_TRUE(Util::unzip(archive().string(), dst().string()));
  EXPECT_EQ(readText(dst() / "a/b/alias.txt"), "x");
}

}  // namespace
}  // namespace nb
