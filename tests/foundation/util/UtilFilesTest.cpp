#include "foundation/util/UtilFiles.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "support/TempHome.h"

namespace nb {
namespace {

namespace fs = std::filesystem;

class UtilFiles : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    base_ = (root() / "work").string();
    fs::create_directories(base_);
  }

  std::string at(const std::string& rel) const { return base_ + "/" + rel; }

  std::string write(const std::string& rel, const std::string& content) {
    const std::string p = at(rel);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

  std::string read(const std::string& rel) const {
    std::ifstream in(at(rel), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }

  std::string base_;
};

TEST_F(UtilFiles, CreateFolderAndFile) {
  const std::string file = write("f", "x");
  EXPECT_FALSE(Util::createfolder(file));
  EXPECT_EQ(read("f"), "x");

  write("d/keep", "k");
  EXPECT_TRUE(Util::createfolder(at("d")));
  EXPECT_EQ(read("d/keep"), "k");

  EXPECT_TRUE(Util::createfolder(at("p/q/r")));
  EXPECT_TRUE(Util::isdir(at("p/q/r")));

  EXPECT_TRUE(Util::createfile(at("d")));
  EXPECT_TRUE(Util::isdir(at("d")));
  EXPECT_TRUE(Util::createfile(file));
  EXPECT_EQ(read("f"), "x");
  EXPECT_TRUE(Util::createfile(at("new")));
  EXPECT_TRUE(Util::isfile(at("new")));
  EXPECT_EQ(Util::filesize(at("new")), 0U);
  EXPECT_FALSE(Util::createfile(at("missing/new")));
}

TEST_F(UtilFiles, KindTestsFollowLinksWhileLinkTestsDoNot) {
  write("f", "abc");
  fs::create_directory(at("d"));
  ASSERT_TRUE(Util::createlink(at("to-d"), at("d")));
  ASSERT_TRUE(Util::createlink(at("dangling"), at("nothing")));
  EXPECT_FALSE(Util::createlink(at("dangling"), at("f")));  // already there

  const struct {
    std::string rel;
    bool exists, dir, file, link;
    std::optional<fs::file_type> type;
  } cases[] = {
      {"f", true, false, true, false, fs::file_type::regular},
      {"d", true, true, false, false, fs::file_type::directory},
      {"to-d", true, true, false, true, fs::file_type::symlink},
      {"dangling", false, false, false, true, fs::file_type::symlink},
      {"nothing", false, false, false, false, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rel);
    EXPECT_EQ(Util::existfile(at(c.rel)), c.exists);
    EXPECT_EQ(Util::isdir(at(c.rel)), c.dir);
    EXPECT_EQ(Util::isfile(at(c.rel)), c.file);
    EXPECT_EQ(Util::checklinkdir(at(c.rel)), c.link);
    EXPECT_EQ(Util::filetype(at(c.rel)), c.type);
  }
  EXPECT_EQ(Util::getlinksrcpath(at("dangling")), at("nothing"));
  EXPECT_EQ(Util::getlinksrcpath(at("f")), std::nullopt);
  EXPECT_EQ(Util::filesize(at("f")), 3U);
  EXPECT_EQ(Util::filesize(at("dangling")), at("nothing").size());  // the link's own size
}

TEST_F(UtilFiles, EmptyFolderIgnoresDotNamesAndFolderIcon) {
  write("only-hidden/.DS_Store", "");
  write("only-hidden/Icon\r", "");
  EXPECT_TRUE(Util::isemptydir(at("only-hidden")));
  EXPECT_TRUE(Util::isemptydir(at("missing")));
  write("visible/a.txt", "");
  EXPECT_FALSE(Util::isemptydir(at("visible")));
  write("icon-like/Icon", "");
  EXPECT_FALSE(Util::isemptydir(at("icon-like")));
}

TEST_F(UtilFiles, CopyWithReplaceFlag) {
  write("src", "new");
  write("dst", "old");
  EXPECT_TRUE(Util::copyfile(at("src"), at("dst"), false));
  EXPECT_EQ(read("dst"), "old");
  EXPECT_TRUE(Util::copyfile(at("src"), at("dst"), true));
  EXPECT_EQ(read("dst"), "new");
  EXPECT_TRUE(Util::copyfile(at("src"), at("src"), true));
  EXPECT_EQ(read("src"), "new");
}

TEST_F(UtilFiles, CopyNeverDestroysTheDestinationForNothing) {
  write("dst", "precious");
  EXPECT_FALSE(Util::copyfile(at("missing"), at("dst"), true));
  EXPECT_FALSE(Util::copyfile(at("missing"), at("dst")));
  EXPECT_EQ(read("dst"), "precious");

  // The same file under another spelling, or reached through a link.
  EXPECT_FALSE(Util::copyfile(at("dst"), base_ + "//dst"));
  ASSERT_TRUE(Util::createlink(at("link"), at("dst")));
  EXPECT_TRUE(Util::copyfile(at("link"), at("dst"), true));
  EXPECT_EQ(read("dst"), "precious");

  // A folder into itself.
  write("tree/a", "a");
  EXPECT_FALSE(Util::copyfile(at("tree"), at("tree/sub")));
  EXPECT_FALSE(Util::existfile(at("tree/sub")));
}

TEST_F(UtilFiles, CopyKeepsTreeLinksModesAndTimes) {
  write("tree/a", "a");
  write("tree/sub/b", "b");
  fs::create_symlink("a", at("tree/rel-link"));
  fs::permissions(at("tree/a"), fs::perms(0750));
  Util::setfilemodifytime(at("tree/sub/b"), 1500000000);
  ASSERT_TRUE(Util::copyfile(at("tree"), at("copy")));
  EXPECT_EQ(read("copy/a"), "a");
  EXPECT_EQ(read("copy/sub/b"), "b");
  EXPECT_EQ(Util::getlinksrcpath(at("copy/rel-link")), "a");
  EXPECT_EQ(fs::status(at("copy/a")).permissions(), fs::perms(0750));
  EXPECT_EQ(Util::filemodifytime(at("copy/sub/b")), 1500000000U);
}

TEST_F(UtilFiles, MoveFailsOnExistingDestination) {
  write("a", "a");
  write("b", "b");
  EXPECT_FALSE(Util::movefile(at("a"), at("b")));
  EXPECT_EQ(read("a"), "a");
  EXPECT_EQ(read("b"), "b");
  EXPECT_TRUE(Util::movefile(at("a"), at("c")));
  EXPECT_FALSE(Util::existfile(at("a")));
  EXPECT_EQ(read("c"), "a");
}

// rename() cannot cross file systems: the move copies, then removes.
TEST_F(UtilFiles, MoveAcrossFileSystems) {
  struct stat shm {}, work {};
  if (stat("/dev/shm", &shm) != 0 || stat(base_.c_str(), &work) != 0 || shm.st_dev == work.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  std::string templ = "/dev/shm/nbmove-XXXXXX";
  ASSERT_NE(mkdtemp(templ.data()), nullptr);
  const fs::path other = templ;
  const std::string src = (other / "tree").string();
  fs::create_directories(src + "/sub");
  std::ofstream(src + "/sub/f") << "f";
  fs::create_symlink("sub/f", src + "/link");
  EXPECT_TRUE(Util::movefile(src, at("moved")));
  EXPECT_FALSE(Util::existfile(src));
  EXPECT_EQ(read("moved/sub/f"), "f");
  EXPECT_EQ(read("moved/link"), "f");

  write("back", "b");
  std::ofstream((other / "taken").string()) << "t";
  EXPECT_FALSE(Util::movefile(at("back"), (other / "taken").string()));
  EXPECT_EQ(read("back"), "b");
  fs::remove_all(other);
}

TEST_F(UtilFiles, CopyThroughTemporaryName) {
  write("src", "fresh");
  write("dst", "stale");
  write("dst.nbcopy", "left over from a failed run");
  EXPECT_TRUE(Util::copyfileneedtemp(at("src"), at("dst")));
  EXPECT_EQ(read("dst"), "fresh");
  EXPECT_FALSE(Util::existfile(at("dst.nbcopy")));

  write("tree/x", "x");
  write("dir-dst/old", "old");
  EXPECT_TRUE(Util::copyfileneedtemp(at("tree"), at("dir-dst")));
  EXPECT_EQ(read("dir-dst/x"), "x");
  EXPECT_FALSE(Util::existfile(at("dir-dst/old")));
  EXPECT_FALSE(Util::existfile(at("dir-dst.nbcopy")));

  EXPECT_FALSE(Util::copyfileneedtemp(at("missing"), at("dst")));
  EXPECT_EQ(read("dst"), "fresh");
}

TEST_F(UtilFiles, MoveFolderWithFileSourceCopiesIt) {
  write("file", "f");
  EXPECT_TRUE(Util::movefolder(at("file"), at("dest"), false));
  EXPECT_EQ(read("file"), "f");
  EXPECT_EQ(read("dest"), "f");
  EXPECT_TRUE(Util::movefolder(at("missing"), at("dest2"), true));
  EXPECT_FALSE(Util::existfile(at("dest2")));
}

TEST_F(UtilFiles, FolderMergeTouchesTheTopLevelOnly) {
  const struct {
    bool move, replace;
    std::string sharedInDest;  // whose "shared/" ends up in the destination
    bool onlyStaysInSource;
  } cases[] = {
      {true, true, "src", false},
      {true, false, "dst", false},
      {false, true, "src", true},
      {false, false, "dst", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "move " << c.move << " replace " << c.replace);
    fs::remove_all(at("s"));
    fs::remove_all(at("t"));
    write("s/shared/from-src", "src");
    write("s/only-src", "o");
    write("t/shared/from-dst", "dst");
    const bool ok = c.move ? Util::movefolder(at("s"), at("t"), c.replace)
                           : Util::copyfolder(at("s"), at("t"), c.replace);
    EXPECT_TRUE(ok);
    EXPECT_EQ(read("t/only-src"), "o");
    const bool srcVersion = c.sharedInDest == "src";
    EXPECT_EQ(Util::existfile(at("t/shared/from-src")), srcVersion);
    EXPECT_EQ(Util::existfile(at("t/shared/from-dst")), !srcVersion);  // never a mix
    // A clashing entry is copied, never moved, so it stays in the source.
    EXPECT_TRUE(Util::existfile(at("s/shared/from-src")));
    EXPECT_EQ(Util::existfile(at("s/only-src")), c.onlyStaysInSource);
    EXPECT_TRUE(Util::isdir(at("s")));
  }
}

TEST_F(UtilFiles, DeleteRemovesAtOnce) {
  write("tree/a/b", "b");
  EXPECT_TRUE(Util::deletefile(at("tree")));
  EXPECT_FALSE(Util::existfile(at("tree")));
  EXPECT_FALSE(Util::deletefile(at("tree")));
  ASSERT_TRUE(Util::createlink(at("dangling"), at("nothing")));
  EXPECT_TRUE(Util::deletefolder(at("dangling"), false));
  EXPECT_FALSE(Util::checklinkdir(at("dangling")));

  write("mixed/f1", "");
  write("mixed/sub/f2", "");
  fs::create_symlink(at("mixed/sub"), at("mixed/link-to-sub"));
  EXPECT_TRUE(Util::deletefileinfolder(at("mixed"), false));
  EXPECT_FALSE(Util::existfile(at("mixed/f1")));
  EXPECT_FALSE(Util::checklinkdir(at("mixed/link-to-sub")));  // the link, not its folder
  EXPECT_TRUE(Util::existfile(at("mixed/sub/f2")));
  EXPECT_TRUE(Util::deletefileinfolder(at("missing"), false));
}

// One test holds every Trash case: GLib reads XDG_DATA_HOME once a process.
TEST_F(UtilFiles, TrashGoesToTheUsersTrashFolder) {
  const fs::path trash = home() / ".local/share/Trash";
  write("doc.txt", "doc");
  EXPECT_TRUE(Util::deletefile2recyclebin(at("doc.txt")));
  EXPECT_FALSE(Util::existfile(at("doc.txt")));
  EXPECT_TRUE(fs::exists(trash / "files/doc.txt"));
  EXPECT_TRUE(fs::exists(trash / "info/doc.txt.trashinfo"));

  write("folder/inner", "i");
  EXPECT_TRUE(Util::deletefolder(at("folder"), true));
  EXPECT_TRUE(fs::exists(trash / "files/folder/inner"));

  write("mixed/f1", "");
  write("mixed/sub/f2", "");
  EXPECT_TRUE(Util::deletefileinfolder(at("mixed"), true));
  EXPECT_TRUE(fs::exists(trash / "files/f1"));
  EXPECT_TRUE(Util::existfile(at("mixed/sub/f2")));

  EXPECT_FALSE(Util::deletefile2recyclebin(at("missing")));
  EXPECT_FALSE(Util::deletefile2recyclebin(""));
}

TEST_F(UtilFiles, Permissions) {
  write("f", "");
  fs::permissions(at("f"), fs::perms(0755));
  Util::setfilereadonly(at("f"));
  EXPECT_EQ(fs::status(at("f")).permissions(), fs::perms(0444));
  Util::setfilereadwirte(at("f"));
  EXPECT_EQ(fs::status(at("f")).permissions(), fs::perms(0644));
}

TEST_F(UtilFiles, LockIsAFlagOfItsOwnThatRemovesWriteBits) {
  write("f", "");
  fs::permissions(at("f"), fs::perms(0664));
  EXPECT_FALSE(Util::isfilelock(at("f")));
  Util::setfilelock(at("f"), true);
  EXPECT_TRUE(Util::isfilelock(at("f")));
  EXPECT_EQ(fs::status(at("f")).permissions(), fs::perms(0444));
  Util::setfilelock(at("f"), true);  // locking twice keeps the first mode
  Util::setfilelock(at("f"), false);
  EXPECT_FALSE(Util::isfilelock(at("f")));
  EXPECT_EQ(fs::status(at("f")).permissions(), fs::perms(0664));
  Util::setfilelock(at("f"), false);  // unlocking an unlocked file changes nothing
  EXPECT_EQ(fs::status(at("f")).permissions(), fs::perms(0664));

  Util::setfilelock(at("missing"), true);
  EXPECT_FALSE(Util::isfilelock(at("missing")));
}

TEST_F(UtilFiles, TimesAreWholeSeconds) {
  write("f", "");
  const struct timespec times[2] = {{0, UTIME_OMIT}, {1600000000, 999999999}};
  ASSERT_EQ(utimensat(AT_FDCWD, at("f").c_str(), times, 0), 0);
  EXPECT_EQ(Util::filemodifytime(at("f")), 1600000000U);
  Util::setfilemodifytime(at("f"), 1234567890);
  EXPECT_EQ(Util::filemodifytime(at("f")), 1234567890U);
  EXPECT_EQ(Util::filemodifytime(at("missing")), 0U);
  EXPECT_EQ(Util::filecreatetime(at("missing")), 0U);

  // Where the file system keeps a birth time it is recent; setting it is a no-op.
  const uint64_t born = Util::filecreatetime(at("f"));
  const auto now = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::seconds>(
          std::chrono::system_clock::now().time_since_epoch()).count());
  if (born != 0) {
    EXPECT_LE(born, now);
    EXPECT_GT(born + 600, now);
  }
  Util::setfilecreatetime(at("f"), 1000);
  EXPECT_EQ(Util::filecreatetime(at("f")), born);
}

TEST_F(UtilFiles, HashAndFolderSize) {
  write("empty", "");
  EXPECT_EQ(Util::getfilehash(at("empty")), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Util::getfilehash(at("missing")), std::nullopt);

  write("tree/a", std::string(1000, 'a'));
  write("tree/sub/b", std::string(24, 'b'));
  fs::create_symlink("a", at("tree/link"));
  const uint64_t expected = 1000 + 24 + 1 + Util::filesize(at("tree/sub"));
  EXPECT_EQ(Util::folderSizeAtPath(at("tree")), expected);
  EXPECT_EQ(Util::folderSizeAtPath(at("missing")), 0U);
  fs::create_directory(at("empty-dir"));
  EXPECT_EQ(Util::folderSizeAtPath(at("empty-dir")), 0U);
}

}  // namespace
}  // namespace nb
