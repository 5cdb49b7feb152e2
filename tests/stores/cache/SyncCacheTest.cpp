// The content cache: entry format, key, round trips and their checks, the
// size limit, trimming and the extra roots.

#include "stores/cache/SyncCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <type_traits>

#include <gtest/gtest.h>

#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilFiles.h"
#include "stores/cache/Rc4.h"
#include "support/TempHome.h"

namespace nb::test {
namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeAll(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (auto& b : bytes) b = static_cast<char>(random());
  return bytes;
}

// The known computer and user of the golden values below.
constexpr const char* kComputer = "C0FFEE-MAC";
constexpr std::int64_t kUser = 42;
constexpr const char* kKey = "065a1a71e20a812293ef9a9b0493af098ca094de";

class SyncCacheTest : public TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    user = makeUser(kComputer, kUser);
    catalogue.setPath(user->getmountdb());
    cache = std::make_unique<SyncCache>(*user, catalogue);
    cache->setPath(root());
  }

  std::unique_ptr<UserData> makeUser(const std::string& computer, std::int64_t id) {
    UserData::Options options;
    options.home = home();
    options.computerid = computer;
    auto made = std::make_unique<UserData>(std::move(options));
    made->setUserID(id);
    return made;
  }

  std::string root() const { return user->getcache(); }
  std::string file(const std::string& name) const { return (TempHome::root() / "files" / name).string(); }
  std::string entry(const std::string& hash) const { return root() + "/" + hash.substr(0, 2) + "/" + hash; }

  // Writes a local file and adds it to the default root; its hash.
  std::string addFile(const std::string& name, const std::string& content) {
    writeAll(file(name), content);
    const std::string hash = sha1HexDigest(content);
    EXPECT_TRUE(cache->addCacheFileByPath(file(name), hash));
    return hash;
  }

  Mountsdb catalogue;
  std::unique_ptr<UserData> user;
  std::unique_ptr<SyncCache> cache;
};

TEST(Rc4Test, KnownVectors) {
  struct Case {
    std::string key, plain, cipherHex;
  };
  const Case cases[] = {
      {"Key", "Plaintext", "bbf316e8d940af0ad3"},
      {"Wiki", "pedia", "1021bf0420"},
      {"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"},
  };
  for (const auto& c : cases) {
    std::string data = c.plain;
    Rc4(c.key).process(data.data(), data.size());
    EXPECT_EQ(hex(data), c.cipherHex) << c.key;
    // Pieces of one stream give the bytes of one call, and the same
    // operation deciphers.
    std::string pieces = c.plain;
    Rc4 stream(c.key);
    stream.process(pieces.data(), 2);
    stream.process(pieces.data() + 2, pieces.size() - 2);
    EXPECT_EQ(pieces, data);
    Rc4(c.key).process(data.data(), data.size());
    EXPECT_EQ(data, c.plain);
  }
}

TEST(ContentHashTest, OnlyFortyLowerCaseHexCharactersAreAHash) {
  EXPECT_TRUE(isContentHash(kEmptyContentHash));
  const std::string bad[] = {"",
                             std::string(39, 'a'),
                             std::string(41, 'a'),
                             "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709",
                             "../../../../../../../../../../etc/passwd",
                             "da39a3ee5e6b4b0d3255bfef95601890afd8070/",
                             "da39a3ee5e6b4b0d3255bfef95601890afd8070g"};
  for (const auto& hash : bad) EXPECT_FALSE(isContentHash(hash)) << hash;
}

TEST_F(SyncCacheTest, KeyIsMadeOnceAndKeptPerComputerAndUser) {
  EXPECT_EQ(cacheKeyText(kComputer, kUser), kKey);
  EXPECT_EQ(catalogue.getCacheDataKey(), kKey);  // setPath stored it
  EXPECT_NE(cacheKeyText("OTHER-MAC", kUser), kKey);
  EXPECT_NE(cacheKeyText(kComputer, kUser + 1), kKey);

  // A later sign-in takes the stored key, whatever the computer id says now.
  catalogue.setCacheDataKey(std::string(40, '1'));
  cache->setPath(root());
  const std::string hash = addFile("a", "abc");
  std::string body = readAll(entry(hash)).substr(32);
  Rc4(std::string(40, '1')).process(body.data(), body.size());
  EXPECT_EQ(body, "abc");
}

// The computer id may change (a new machine id, a reinstalled system): the
// same user's catalogue still holds the key, so the entries stay readable.
TEST_F(SyncCacheTest, AChangedComputerIdKeepsTheCache) {
  const std::string content = randomBytes(4000, 3);
  const std::string hash = addFile("a", content);
  auto moved = makeUser("NEW-MACHINE-ID", kUser);
  Mountsdb reopened;
  reopened.setPath(user->getmountdb());
  SyncCache later(*moved, reopened);
  later.setPath(root());
  const std::string target = file("restored");
  ASSERT_TRUE(later.copyDecrypt(entry(hash), target));
  EXPECT_EQ(readAll(target), content);
  EXPECT_EQ(reopened.getCacheDataKey(), kKey);
}

TEST_F(SyncCacheTest, SetPathMakesTheEmptyContentEntry) {
  EXPECT_TRUE(fs::is_regular_file(entry(kEmptyContentHash)));
  EXPECT_EQ(fs::file_size(entry(kEmptyContentHash)), 0u);
  EXPECT_EQ(cache->getFullPathByFileHash(kEmptyContentHash), entry(kEmptyContentHash));
}

TEST_F(SyncCacheTest, EntryBytesAreMarkerLengthZerosAndTheRc4Body) {
  const std::string hash = addFile("hello", "hello, cache");
  ASSERT_EQ(hash, "1b6d07a42ccb8c6616e9f3a7aa43e3de8309b86d");
  const std::string bytes = readAll(entry(hash));
  ASSERT_EQ(bytes.size(), 32u + 12u);
  EXPECT_EQ(hex(bytes.substr(0, 16)), "48b636608ddf134efeb1d6eb4e810000");
  EXPECT_EQ(hex(bytes.substr(16, 8)), "0c00000000000000");
  EXPECT_EQ(hex(bytes.substr(24, 8)), "0000000000000000");
  EXPECT_EQ(hex(bytes.substr(32)), "df07f4e650a64dc986faa90c");  // RC4 under kKey's ASCII
  EXPECT_FALSE(fs::exists(entry(hash) + ".nbcopy"));
}

TEST_F(SyncCacheTest, RoundTripOfAFileReplacesTheTarget) {
  const std::string content = randomBytes(3 * 1024 * 1024 + 17, 7);
  const std::string hash = addFile("big", content);
  const std::string found = cache->getFullPathByFileHash(hash);
  ASSERT_EQ(found, entry(hash));
  const std::string target = file("restored");
  writeAll(target, "old content");
  ASSERT_TRUE(cache->copyDecrypt(found, target));
  EXPECT_EQ(readAll(target), content);
  EXPECT_FALSE(fs::exists(target + ".nbcopy"));
}

// Whatever kind of entry is read back, a folder at the target may hold the
// user's files: the read fails and the folder stays whole.
TEST_F(SyncCacheTest, AFolderAtTheTargetIsNeverDeleted) {
  const std::string marker = readAll(entry(addFile("m", "x"))).substr(0, 16);
  struct Case {
    const char* name;
    std::string entryPath;
  };
  writeAll(file("plain"), "plain content");
  const Case cases[] = {
      {"enciphered", entry(addFile("a", randomBytes(3000, 4)))},
      {"empty", entry(kEmptyContentHash)},
      {"header only", file("header")},
      {"plain copy", file("plain")},
  };
  writeAll(file("header"), marker + std::string(16, '\0'));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = file("folder");
    writeAll(target + "/inner/keep", "the user's file");
    EXPECT_FALSE(cache->copyDecrypt(c.entryPath, target));
    EXPECT_EQ(readAll(target + "/inner/keep"), "the user's file");
    EXPECT_FALSE(fs::exists(target + ".nbcopy"));
  }
}

TEST_F(SyncCacheTest, ExistingEntryIsNeverRewritten) {
  const std::string hash = addFile("a", "first");
  const std::string before = readAll(entry(hash));
  writeAll(file("b"), "something else");
  EXPECT_TRUE(cache->addCacheFileByPath(file("b"), hash));
  EXPECT_EQ(readAll(entry(hash)), before);
  // With an explicit root, adding the entry file itself is already done.
  EXPECT_TRUE(cache->addCacheFileByPath(entry(hash), hash, root()));
  EXPECT_EQ(readAll(entry(hash)), before);
}

// A read that fails its check leaves the user's file alone.
class SyncCacheMismatchTest : public SyncCacheTest {
 protected:
  void expectRefused(const std::string& entryPath) {
    const std::string extra = (TempHome::root() / "extra").string();
    cache->addCacheByPath(extra);
    writeAll(extra + "/ab/keep", "k");
    const std::string target = file("target");
    writeAll(target, "the user's own file");
    EXPECT_FALSE(cache->copyDecrypt(entryPath, target));
    EXPECT_EQ(readAll(target), "the user's own file");
    EXPECT_FALSE(fs::exists(target + ".nbcopy"));
    // The default root is emptied (the cache is unusable); extra roots stay.
    EXPECT_TRUE(fs::is_directory(root()));
    EXPECT_TRUE(fs::is_empty(root()));
    EXPECT_TRUE(fs::exists(extra + "/ab/keep"));
  }
};

TEST_F(SyncCacheMismatchTest, WrongKeyIsDetected) {
  const std::string hash = addFile("a", randomBytes(5000, 1));
  auto other = makeUser("OTHER-MAC", kUser);
  Mountsdb otherCatalogue;  // another install: its own catalogue, no key yet
  otherCatalogue.setPath((TempHome::root() / "other-vemountex3.db").string());
  SyncCache otherCache(*other, otherCatalogue);
  otherCache.setPath(root());  // another key over the same files
  const std::string target = file("target");
  writeAll(target, "the user's own file");
  EXPECT_FALSE(otherCache.copyDecrypt(entry(hash), target));
  EXPECT_EQ(readAll(target), "the user's own file");
  EXPECT_TRUE(fs::is_empty(root()));
}

TEST_F(SyncCacheMismatchTest, CorruptBodyIsDetected) {
  const std::string hash = addFile("a", randomBytes(5000, 2));
  std::fstream f(entry(hash), std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(32 + 4000);
  f.put('\x5a');
  f.close();
  expectRefused(entry(hash));
}

TEST_F(SyncCacheTest, PlainEmptyAndShortEntriesAreCopiedAsTheyAre) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string expected;
  };
  const std::string marker = readAll(entry(addFile("m", "x"))).substr(0, 16);
  const Case cases[] = {
      {"empty", "", ""},
      {"header only", marker + std::string(16, '\0'), ""},
      {"shorter than a header", "short", "short"},
      {"no marker", std::string(100, 'p'), std::string(100, 'p')},
  };
  for (const auto& c : cases) {
    const std::string source = file(std::string("entry ") + c.name);
    writeAll(source, c.bytes);
    const std::string target = file("target");
    writeAll(target, "a non-empty file was here");
    EXPECT_TRUE(cache->copyDecrypt(source, target)) << c.name;
    EXPECT_EQ(readAll(target), c.expected) << c.name;
  }
  EXPECT_FALSE(cache->copyDecrypt(file("missing"), file("target")));
}

TEST_F(SyncCacheTest, FilesOfOneHundredMebibytesAndMoreGetNoEntry) {
  // Sparse files: the size is checked before the content is read.
  for (const auto& [size, cached] : {std::pair{kCacheMaxFileSize - 1, true},
                                     std::pair{kCacheMaxFileSize, false}}) {
    const std::string path = file("sparse");
    writeAll(path, "");
    fs::resize_file(path, size);
    const std::string h = sha1HexDigest(std::to_string(size));
    EXPECT_EQ(cache->addCacheFileByPath(path, h), cached) << size;
    EXPECT_EQ(fs::exists(entry(h)), cached) << size;
    if (cached) {
      EXPECT_EQ(fs::file_size(entry(h)), size + 32);
    }
  }
}

TEST_F(SyncCacheTest, HashesThatAreNotContentHashesNeverBecomePaths) {
  writeAll(file("a"), "a");
  const std::string outside = (TempHome::root() / "outside").string();
  EXPECT_FALSE(cache->addCacheFileByPath(file("a"), "../../outside"));
  EXPECT_FALSE(cache->addCacheFileByPath(file("a"), ""));
  EXPECT_FALSE(fs::exists(outside));
  writeAll(TempHome::root() / "secret", "s");
  EXPECT_EQ(cache->getFullPathByFileHash("../../../secret"), "");
  EXPECT_EQ(cache->getFullPathByFileHash(""), "");
}

TEST_F(SyncCacheTest, LookupPrefersTheDefaultRootThenExtraRootsInOrder) {
  const std::string first = (TempHome::root() / "r1").string();
  const std::string second = (TempHome::root() / "r2").string();
  cache->addCacheByPath(first);
  cache->addCacheByPath(second);
  writeAll(file("a"), "content a");
  const std::string hash = sha1HexDigest("content a");
  ASSERT_TRUE(cache->addCacheFileByPath(file("a"), hash, second));
  EXPECT_EQ(cache->getFullPathByFileHash(hash), second + "/" + hash.substr(0, 2) + "/" + hash);
  ASSERT_TRUE(cache->addCacheFileByPath(file("a"), hash));
  EXPECT_EQ(cache->getFullPathByFileHash(hash), entry(hash));
}

TEST_F(SyncCacheTest, TrimKeepsTheNewestFilesUnderTheBudget) {
  // Newest first: 600, 300, 200, 50 bytes. Created oldest first, so
  // creation times never contradict the modification times set here.
  const std::pair<const char*, std::size_t> files[] = {{"f50", 50}, {"f200", 200},
                                                       {"f300", 300}, {"f600", 600}};
  std::uint64_t time = 1'600'000'000;
  for (const auto& [name, size] : files) {
    const std::string path = root() + "/ab/" + name;
    writeAll(path, std::string(size, 'x'));
    Util::setfilemodifytime(path, time += 100);
  }
  writeAll(root() + "/.hidden", std::string(5000, 'h'));
  fs::remove(entry(kEmptyContentHash));
  cache->cleanBySize(1000);
  EXPECT_TRUE(fs::exists(root() + "/ab/f600"));
  EXPECT_TRUE(fs::exists(root() + "/ab/f300"));
  EXPECT_FALSE(fs::exists(root() + "/ab/f200"));
  EXPECT_FALSE(fs::exists(root() + "/ab/f50"));
  EXPECT_TRUE(fs::exists(root() + "/.hidden"));
}

TEST_F(SyncCacheTest, DeletingAnExtraRootRemovesOnlyFoldersOfTheUser) {
  const std::string outside = (TempHome::root() / "outside").string();
  const std::string inside = user->getuserfolderpath() + "/libcache";
  // Another user's folder whose name begins with this user's id.
  const std::string neighbour = user->getuserfolderpath() + "0/libcache";
  for (const auto& r : {outside, inside, neighbour}) {
    cache->addCacheByPath(r);
    writeAll(r + "/ab/f", "f");
  }
  cache->deleteCacheByPath(outside);
  cache->deleteCacheByPath(inside);
  cache->deleteCacheByPath(neighbour);
  cache->deleteCacheByPath("/not/registered");
  EXPECT_TRUE(cache->extraRoots().empty());
  EXPECT_TRUE(fs::exists(outside + "/ab/f"));
  EXPECT_FALSE(fs::exists(inside));
  EXPECT_TRUE(fs::exists(neighbour + "/ab/f"));
}

TEST_F(SyncCacheTest, MoveMergesEntriesWithoutReplacing) {
  const std::string from = (TempHome::root() / "from").string();
  const std::string to = (TempHome::root() / "to").string();
  writeAll(from + "/ab/new", "new");
  writeAll(from + "/top", "moved");
  writeAll(from + "/kept", "from");
  writeAll(from + "/.dot", "dot");
  writeAll(to + "/kept", "to");
  cache->moveCacheByPath(from, to);
  EXPECT_EQ(readAll(to + "/ab/new"), "new");
  EXPECT_EQ(readAll(to + "/top"), "moved");
  EXPECT_EQ(readAll(to + "/kept"), "to");
  EXPECT_FALSE(fs::exists(to + "/.dot"));
}

TEST_F(SyncCacheTest, FolderCopyAddsEveryFileUnderItsHash) {
  const std::string folder = (TempHome::root() / "opened").string();
  writeAll(folder + "/a.txt", "alpha");
  writeAll(folder + "/sub/b.txt", "beta");
  writeAll(folder + "/.lock", "lock");
  cache->copyFolderToCache(folder);
  for (const char* content : {"alpha", "beta"}) {
    const std::string found = cache->getFullPathByFileHash(sha1HexDigest(content));
    ASSERT_FALSE(found.empty()) << content;
    const std::string out = (TempHome::root() / "out").string();
    ASSERT_TRUE(cache->copyDecrypt(found, out));
    EXPECT_EQ(readAll(out), content);
  }
  EXPECT_EQ(cache->getFullPathByFileHash(sha1HexDigest("lock")), "");
}

// The list's clear (forget the extra roots) and the cache's clear (empty
// the default root) must not be mixed up: only the cache's is reachable.
static_assert(!std::is_convertible_v<SyncCache&, NodeBase<std::string>&>);

TEST(SyncCacheUnsetTest, NothingHappensBeforeSetPath) {
  UserData::Options options;
  options.home = makeTempDir();
  options.computerid = kComputer;
  UserData user(options);
  Mountsdb catalogue;
  SyncCache cache(user, catalogue);
  EXPECT_FALSE(cache.addCacheFileByPath("/etc/hostname", std::string(40, 'a')));
  EXPECT_EQ(cache.getFullPathByFileHash(std::string(40, 'a')), "");
  cache.clear();
  cache.cleanBySize(0);
  fs::remove_all(options.home);
}

}  // namespace
}  // namespace nb::test
