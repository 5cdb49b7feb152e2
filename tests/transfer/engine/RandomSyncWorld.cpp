#include "RandomSyncWorld.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include <glib.h>

#include "api/calls/TransportSettings.h"
#include "api/session/UserData.h"
#include "support/PumpMainThread.h"
#include "sync/local/Directoryhandler.h"

namespace nb::test {

namespace fs = std::filesystem;

namespace {

const FakeMember kOther{99, "someone else"};
const std::vector<std::string> kFileNames{"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
const std::vector<std::string> kFolderNames{"d1", "d2", "d3"};
// The service refuses a new file while the account is full.
constexpr int kSpaceFull = 40321;

std::string fold(std::string text) {
  for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string join(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + "/" + name;
}

std::string parentOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isUnder(const std::string& path, const std::string& folder) {
  return fold(path) == fold(folder) || fold(path).rfind(fold(folder) + "/", 0) == 0;
}

// Items the run leaves alone once made: the links and what lies behind them.
bool frozen(const std::string& relative) { return relative.rfind("ln", 0) == 0; }

Tree folded(const Tree& tree) {
  Tree out;
  for (const auto& [path, item] : tree) out[fold(path)] = item;
  return out;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// What differs between two trees, one line each.
std::string difference(const Tree& local, const Tree& server) {
  std::ostringstream out;
  for (const auto& [path, item] : local) {
    const auto there = server.find(path);
    if (there == server.end()) {
      out << "  only local: " << path << " (" << item << ")\n";
    } else if (!(there->second == item)) {
      out << "  differs: " << path << " local " << item << ", server " << there->second << "\n";
    }
  }
  for (const auto& [path, item] : server) {
    if (!local.contains(path)) out << "  only on the server: " << path << " (" << item << ")\n";
  }
  return out.str();
}

}  // namespace

void RandomSyncWorld::SetUp() {
  // Stalled answers are given up after a second or two, not a minute.
  setTransportSettingsSource([] { return TransportSettings{.timeoutLimit = std::chrono::seconds(2)}; });
  LocalWorld::SetUp();
  ASSERT_FALSE(center().handlerlist().empty());
  for (const auto& handler : center().handlerlist()) ASSERT_TRUE(handler->waitUntilWatching());
  app().setLoginFinish(true);
  UserData::shareUserData().setBTransStart(true);
  engine_ = std::make_unique<RealTransferEngine>(Network::shareNetwork());
}

void RandomSyncWorld::TearDown() {
  engine_.reset();
  LocalWorld::TearDown();
  setTransportSettingsSource({});
}

// --- Random choices ------------------------------------------------------------------

std::string RandomSyncWorld::freshContent() {
  std::string bytes = "seed " + std::to_string(seed_) + " step " + std::to_string(step_) + "\n";
  const size_t size = chance(15) ? 64 * 1024 + pick(160 * 1024) : pick(2000);
  bytes.reserve(bytes.size() + size);
  for (size_t i = 0; i < size; ++i) bytes.push_back(static_cast<char>('a' + pick(26)));
  return bytes;
}

// --- What each side holds now ----------------------------------------------------------

std::vector<RandomSyncWorld::Item> RandomSyncWorld::items(Side side) {
  std::vector<Item> found;
  if (side == Side::kServer) {
    for (const auto& [path, item] : serverTree("docs")) {
      if (!frozen(path)) found.push_back(Item{path, item.dir});
    }
    return found;
  }
  const fs::path base = local("Docs");
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string relative = fs::relative(it->path(), base).string();
    const std::string name = it->path().filename().string();
    // The engine's own copies in progress are not the user's to touch.
    if (it->is_symlink() || frozen(relative) || name.starts_with(".") ||
        name.ends_with(".nbcopy")) {
      if (it->is_directory() && !it->is_symlink()) it.disable_recursion_pending();
      continue;
    }
    found.push_back(Item{relative, it->is_directory()});
  }
  return found;
}

std::vector<std::string> RandomSyncWorld::folders(Side side) {
  std::vector<std::string> found{""};
  for (const auto& item : items(side)) {
    if (item.dir) found.push_back(item.path);
  }
  return found;
}

bool RandomSyncWorld::taken(const std::string& path) {
  for (const Side side : {Side::kLocal, Side::kServer}) {
    for (const auto& item : items(side)) {
      if (fold(item.path) == fold(path)) return true;
    }
  }
  return false;
}

bool RandomSyncWorld::canMove(const Item& item, const std::string& target) {
  if (isUnder(target, item.path) || fold(target) == fold(parentOf(item.path))) return false;
  // Two levels of folders at most.
  if (item.dir && target.find('/') != std::string::npos) return false;
  return !taken(join(target, nameOf(item.path)));
}

std::optional<std::string> RandomSyncWorld::freeName(const std::string& folder, bool dir) {
  // Two levels of folders are enough to move things around in.
  if (dir && std::count(folder.begin(), folder.end(), '/') >= 1) return std::nullopt;
  std::vector<std::string> names = dir ? kFolderNames : kFileNames;
  std::shuffle(names.begin(), names.end(), random_);
  for (const auto& name : names) {
    if (!taken(join(folder, name))) return name;
  }
  return std::nullopt;
}

// --- Edits -------------------------------------------------------------------------

void RandomSyncWorld::noteWrite(const std::string& bytes, const std::string& what) {
  const std::string hash = sha1HexDigest(bytes);
  written_[hash] = "step " + std::to_string(step_) + " " + what;
  mustSurvive_.insert(hash);
  log_.push_back(what + " (" + hash.substr(0, 8) + ", " + std::to_string(bytes.size()) + " bytes)");
}

void RandomSyncWorld::forgetLocal(const std::string& relative) {
  const fs::path at = local("Docs/" + relative);
  std::error_code ec;
  if (fs::is_regular_file(fs::symlink_status(at, ec))) mustSurvive_.erase(sha1HexDigest(readFile(at)));
  if (!fs::is_directory(fs::symlink_status(at, ec))) return;
  for (auto it = fs::recursive_directory_iterator(at, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file() && !it->is_symlink()) {
      mustSurvive_.erase(sha1HexDigest(readFile(it->path())));
    }
  }
}

void RandomSyncWorld::forgetServer(const std::string& relative) {
  if (const auto entry = tree().find("docs/" + relative); entry && !entry->dir) {
    mustSurvive_.erase(entry->filehash);
  }
  for (const auto& [path, item] : serverTree("docs/" + relative)) {
    if (!item.dir) mustSurvive_.erase(item.filehash);
  }
}

void RandomSyncWorld::randomStep() {
  ++step_;
  const size_t what = pick(100);
  if (what < 45) {
    localStep();
  } else if (what < 85) {
    serverStep();
  } else if (what < 95) {
    injectFault();
  } else {
    pass();
  }
  // The client runs now and then while the edits go on.
  if (chance(30)) pass();
}

void RandomSyncWorld::localStep() {
  const auto all = items(Side::kLocal);
  std::vector<Item> files;
  for (const auto& item : all) {
    if (!item.dir) files.push_back(item);
  }
  const auto folderList = folders(Side::kLocal);
  const auto at = [this](const std::string& relative) { return local("Docs/" + relative); };
  switch (pick(11)) {
    case 0:
    case 1: {  // a new file
      const std::string folder = folderList[pick(folderList.size())];
      const auto name = freeName(folder, false);
      if (!name) return;
      const std::string bytes = freshContent();
      writeFile(at(join(folder, *name)), bytes);
      noteWrite(bytes, "local new " + join(folder, *name));
      return;
    }
    case 2: {  // a new folder
      const std::string folder = folderList[pick(folderList.size())];
      const auto name = freeName(folder, true);
      if (!name) return;
      fs::create_directory(at(join(folder, *name)));
      log_.push_back("local new folder " + join(folder, *name));
      return;
    }
    case 3:
    case 4: {  // an edit
      if (files.empty()) return;
      const std::string path = files[pick(files.size())].path;
      const std::string before = readFile(at(path));
      std::string bytes = freshContent();
      // Same size within the same second is no change to the engine.
      if (bytes.size() == before.size()) bytes.push_back('!');
      forgetLocal(path);
      writeFile(at(path), bytes);
      noteWrite(bytes, "local edit " + path);
      return;
    }
    case 5: {  // a rename
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      const auto name = freeName(parentOf(item.path), item.dir);
      if (!name) return;
      std::error_code ec;
      fs::rename(at(item.path), at(join(parentOf(item.path), *name)), ec);
      log_.push_back("local rename " + item.path + " -> " + *name + (ec ? " failed" : ""));
      return;
    }
    case 6: {  // a move
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      const std::string target = folderList[pick(folderList.size())];
      if (!canMove(item, target)) return;
      std::error_code ec;
      fs::rename(at(item.path), at(join(target, nameOf(item.path))), ec);
      log_.push_back("local move " + item.path + " -> " + target + "/" + (ec ? " failed" : ""));
      return;
    }
    case 7: {  // a deletion
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      forgetLocal(item.path);
      std::error_code ec;
      fs::remove_all(at(item.path), ec);
      log_.push_back("local delete " + item.path);
      return;
    }
    case 8: {  // a rename that changes only the letter case
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      std::string name = nameOf(item.path);
      name[0] = std::isupper(static_cast<unsigned char>(name[0]))
                    ? static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])))
                    : static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
      std::error_code ec;
      fs::rename(at(item.path), at(join(parentOf(item.path), name)), ec);
      log_.push_back("local case rename " + item.path + " -> " + name);
      return;
    }
    case 9: {  // a new file that changes again while it uploads
      const std::string folder = folderList[pick(folderList.size())];
      const auto name = freeName(folder, false);
      if (!name) return;
      std::string bytes = freshContent();
      bytes.append(200 * 1024, 'u');
      writeFile(at(join(folder, *name)), bytes);
      noteWrite(bytes, "local new (rewritten while it uploads) " + join(folder, *name));
      rewrite_ = join(folder, *name);
      return;
    }
    default: makeSymlink(); return;
  }
}

void RandomSyncWorld::makeSymlink() {
  const int kind = static_cast<int>(pick(4));
  if (!links_.insert(kind).second) return;
  const fs::path outside = local("outside");
  fs::create_directories(outside / "folder");
  const std::string name = "ln" + std::to_string(kind);
  const fs::path link = local("Docs/" + name);
  switch (kind) {
    case 0: {  // to a file outside: no row, stays local
      const std::string bytes = "outside file " + std::to_string(seed_);
      writeFile(outside / "file.txt", bytes);
      written_[sha1HexDigest(bytes)] = "outside file";
      fs::create_symlink(outside / "file.txt", link);
      break;
    }
    case 1: fs::create_symlink(outside / "nothing-here", link); break;
    case 2: fs::create_symlink(local("Docs"), link); break;
    default: {  // to a folder outside, whose contents the run leaves alone
      const std::string bytes = "behind a folder link " + std::to_string(seed_);
      writeFile(outside / "folder" / "o.txt", bytes);
      written_[sha1HexDigest(bytes)] = "outside folder";
      fs::create_symlink(outside / "folder", link);
      break;
    }
  }
  log_.push_back("local link " + name);
  // No watch follows a link: the scan finds what lies behind it.
  m_->requestFullRescan();
}

void RandomSyncWorld::serverStep() {
  // The server's change times must differ from the synced ones.
  clock().advance(std::chrono::seconds(1 + pick(3)));
  const auto all = items(Side::kServer);
  std::vector<Item> files;
  for (const auto& item : all) {
    if (!item.dir) files.push_back(item);
  }
  const auto folderList = folders(Side::kServer);
  const auto web = [](const std::string& relative) { return "docs/" + relative; };
  switch (pick(10)) {
    case 0:
    case 1: {  // a new file
      const std::string folder = folderList[pick(folderList.size())];
      const auto name = freeName(folder, false);
      if (!name) return;
      const std::string bytes = freshContent();
      drive_->putFile(kMountId, web(join(folder, *name)), bytes, kOther);
      noteWrite(bytes, "server new " + join(folder, *name));
      return;
    }
    case 2: {  // a new folder
      const std::string folder = folderList[pick(folderList.size())];
      const auto name = freeName(folder, true);
      if (!name) return;
      tree().addFolder(web(join(folder, *name)), kOther);
      log_.push_back("server new folder " + join(folder, *name));
      return;
    }
    case 3:
    case 4: {  // an edit: a new version; the one before stays in the versions
      if (files.empty()) return;
      const std::string path = files[pick(files.size())].path;
      const std::string bytes = freshContent();
      drive_->putFile(kMountId, web(path), bytes, kOther);
      noteWrite(bytes, "server edit " + path);
      return;
    }
    case 5: {  // a rename, now and then one of the letter case alone (files)
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      std::string name;
      if (!item.dir && chance(30)) {
        name = nameOf(item.path);
        name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        if (name == nameOf(item.path)) return;
      } else {
        const auto fresh = freeName(parentOf(item.path), item.dir);
        if (!fresh) return;
        name = *fresh;
      }
      const auto error = tree().rename(web(item.path), name, kOther);
      log_.push_back("server rename " + item.path + " -> " + name +
                     (error == FakeTreeError::None ? "" : " refused"));
      return;
    }
    case 6: {  // a move
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      const std::string target = folderList[pick(folderList.size())];
      if (!canMove(item, target)) return;
      const auto error = tree().move(web(item.path), web(target), kOther);
      log_.push_back("server move " + item.path + " -> " + target + "/" +
                     (error == FakeTreeError::None ? "" : " refused"));
      return;
    }
    case 7:
    case 8: {  // a deletion (to the recycle bin)
      if (all.empty()) return;
      const Item item = all[pick(all.size())];
      forgetServer(item.path);
      tree().remove(web(item.path), kOther);
      serverRemoved_.push_back(item.path);
      log_.push_back("server delete " + item.path);
      return;
    }
    default: {  // a restore from the recycle bin
      if (serverRemoved_.empty()) return;
      const size_t index = pick(serverRemoved_.size());
      const std::string path = serverRemoved_[index];
      const std::string parent = parentOf(path);
      if (taken(path) || (!parent.empty() && !tree().find(web(parent)))) return;
      serverRemoved_.erase(serverRemoved_.begin() + static_cast<std::ptrdiff_t>(index));
      const auto back = tree().recover({web(path)}, kOther);
      for (const auto& entry : back) {
        if (!entry.dir) mustSurvive_.insert(entry.filehash);
      }
      log_.push_back("server restore " + path + (back.empty() ? " (nothing)" : ""));
      return;
    }
  }
}

void RandomSyncWorld::injectFault() {
  static const std::vector<std::string> kApi{
      "/1/file/compare",  "/2/file/create_file", "/2/file/create_folder",
      "/1/file/del",      "/1/file/rename",      "/1/file/move",
      "/1/file/get_url_by_filehash", "/2/file/info"};
  static const std::vector<std::string> kStorage{"/upload_init", "/upload_part", "/upload_finish",
                                                 "/upload_req", "/download"};
  const bool storage = chance(40);
  const std::string path = storage ? kStorage[pick(kStorage.size())] : kApi[pick(kApi.size())];
  FakeService& service = storage ? storage_->service() : api_;
  const int times = 1 + static_cast<int>(pick(2));
  std::string what;
  switch (pick(6)) {
    case 0: service.fail(path, FakeFault::drop().times(times)); what = "dropped"; break;
    case 1: service.fail(path, FakeFault::dropAfterAnswer().times(times)); what = "answer lost"; break;
    case 2:
      service.fail(path, FakeFault::bareStatus(500 + static_cast<int>(pick(4))).times(times));
      what = "5xx";
      break;
    case 3:
      // Past the time-out: two seconds for calls, the manual clock's ten for
      // transfers.
      service.fail(path, FakeFault::slow(std::chrono::milliseconds(2500)).times(1));
      what = "stalled";
      break;
    case 4:
      api_.fail("/2/file/create_file",
                FakeFault::errorCode(kSpaceFull, 400, "space is full").times(times));
      log_.push_back("fault: the account is full x" + std::to_string(times));
      return;
    default: service.fail(path, FakeFault::bareStatus(503).times(times)); what = "503"; break;
  }
  log_.push_back("fault: " + path + " " + what + " x" + std::to_string(times));
}

// --- The client's own work -----------------------------------------------------------

// The watcher closes a batch 0.1 s after its first event; the second round
// takes the events of what the first one wrote.
void RandomSyncWorld::settle() {
  for (int i = 0; i < 2; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    for (const auto& handler : center().handlerlist()) handler->waitUntilIdle();
  }
}

void RandomSyncWorld::engineSteps(int count) {
  for (int i = 0; i < count; ++i) {
    engine_->network().refreshCounts();
    clock().advance(std::chrono::seconds(1));
    pumpMainThreadUntil([] { return false; }, std::chrono::milliseconds(20));
  }
}

void RandomSyncWorld::pass() {
  log_.push_back("-- the client runs");
  settle();
  // The coordinator's own round: deferred renames and moves are retried.
  clock().advance(std::chrono::seconds(3));
  runCoordinatorPass();
  m_->startCanCompare();
  runComparePass();
  if (rewrite_) {
    engineSteps(2);
    const fs::path at = local("Docs/" + *rewrite_);
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(at, ec))) {
      std::string bytes = freshContent();
      bytes.append(150 * 1024, 'w');
      forgetLocal(*rewrite_);
      writeFile(at, bytes);
      noteWrite(bytes, "local rewrite during upload " + *rewrite_);
    }
    rewrite_.reset();
  }
  engine_->tryDrain(clock(), 10);
}

void RandomSyncWorld::quiesce() {
  api_.clearFaults();
  storage_->service().clearFaults();
  // The pause after a full account, and the waits of failed transfers.
  clock().advance(std::chrono::seconds(601));
  for (int round = 0; round < 8; ++round) {
    pass();
    settle();
    if (folded(syncedLocalTree()) == folded(serverTree("docs"))) break;
  }
  // One more: what the last one changed reaches its end.
  pass();
  engine_->drain(clock(), 20);
  settle();
}

// --- Checks ------------------------------------------------------------------------------

Tree RandomSyncWorld::syncedLocalTree() {
  Tree result;
  const fs::path root = local("Docs");
  std::error_code ec;
  const fs::path canonicalRoot = fs::canonical(root, ec);
  std::vector<std::pair<fs::path, std::string>> pending{{root, ""}};
  while (!pending.empty()) {
    const auto [folder, prefix] = pending.back();
    pending.pop_back();
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      const std::string relative = join(prefix, entry.path().filename().string());
      if (entry.is_symlink()) {
        const fs::path target = fs::canonical(entry.path(), ec);
        if (ec || !fs::is_directory(target)) continue;
        // A link back into the linked folder ends the walk there.
        const std::string inside = fs::relative(target, canonicalRoot).string();
        if (!inside.starts_with("..")) continue;
        result[relative] = TreeItem{true, ""};
        pending.emplace_back(entry.path(), relative);
      } else if (entry.is_directory()) {
        result[relative] = TreeItem{true, ""};
        pending.emplace_back(entry.path(), relative);
      } else if (entry.is_regular_file()) {
        result[relative] = TreeItem{false, sha1HexDigest(readFile(entry.path()))};
      }
    }
  }
  return result;
}

std::set<std::string> RandomSyncWorld::localTrashContent() {
  std::set<std::string> held;
  const fs::path trash = fs::path(g_get_user_data_dir()) / "Trash" / "files";
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(trash, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file() && !it->is_symlink()) held.insert(sha1HexDigest(readFile(it->path())));
  }
  return held;
}

std::string RandomSyncWorld::history() const {
  std::ostringstream out;
  out << "seed " << seed_ << " (replay: NB_SYNC_SEED=" << seed_
      << " NB_SYNC_SEEDS=1 --gtest_filter='Seeds/RandomSyncTest.*')\n";
  for (size_t i = 0; i < log_.size(); ++i) out << "  " << i + 1 << ". " << log_[i] << "\n";
  return out.str();
}

void RandomSyncWorld::check() {
  const Tree localSide = folded(syncedLocalTree());
  const Tree serverSide = folded(serverTree("docs"));
  EXPECT_EQ(localSide, serverSide) << "the two sides differ:\n"
                                   << difference(localSide, serverSide) << history();

  // Every row in sync, one for each server item.
  Rows wanted;
  for (const auto& [relative, item] : serverSide) {
    wanted["docs/" + relative] = RowState{SyncStatus::kSynced, item.dir, item.filehash};
  }
  Rows rows;
  for (const auto& [webpath, row] : storeRows()) {
    if (webpath.rfind("docs/", 0) == 0) rows[fold(webpath)] = row;
  }
  if (rows != wanted) {
    std::ostringstream out;
    for (const auto& [path, row] : rows) {
      const auto there = wanted.find(path);
      if (there == wanted.end() || !(there->second == row)) out << "  row " << path << ": " << row << "\n";
    }
    for (const auto& [path, row] : wanted) {
      if (!rows.contains(path)) out << "  no row for " << path << "\n";
    }
    ADD_FAILURE() << "rows disagree with the server:\n" << out.str() << history();
  }

  // Nothing lost: what no later edit took back is still somewhere.
  std::set<std::string> present = tree().heldContent();
  for (const auto& [path, item] : localSide) present.insert(item.filehash);
  for (const auto& hash : localTrashContent()) present.insert(hash);
  for (const auto& hash : mustSurvive_) {
    EXPECT_TRUE(present.contains(hash)) << "content lost: " << hash.substr(0, 8) << " written at "
                                        << written_[hash] << "\n" << history();
  }
  // Nothing corrupted: every file holds content some side wrote.
  for (const Tree* side : {&localSide, &serverSide}) {
    for (const auto& [path, item] : *side) {
      if (item.dir) continue;
      EXPECT_TRUE(written_.contains(item.filehash))
          << (side == &localSide ? "local " : "server ") << path << " holds content nobody wrote\n"
          << history();
    }
  }
}

void RandomSyncWorld::runSeed(uint64_t seed, int steps) {
  seed_ = seed;
  random_.seed(seed);
  // A tree to start from, in sync.
  for (int i = 0; i < 4; ++i) {
    ++step_;
    serverStep();
  }
  pass();
  for (int i = 0; i < steps; ++i) randomStep();
  quiesce();
  check();
  if (HasFailure()) {
    std::cerr << "FAILED " << history() << "the server's changes:\n";
    for (const auto& change : tree().changes()) {
      std::cerr << "  " << change.id << " cmd " << change.cmd << " " << change.entry.fullpath
                << (change.fullpathTo.empty() ? "" : " -> " + change.fullpathTo) << " by "
                << change.entry.lastMemberId << " "
                << (change.entry.dir ? "dir" : change.entry.filehash.substr(0, 8)) << "\n";
    }
  } else if (std::getenv("NB_SYNC_VERBOSE") != nullptr) {
    std::cerr << history();
  }
}

}  // namespace nb::test
