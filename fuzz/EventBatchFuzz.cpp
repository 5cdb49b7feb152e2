// libFuzzer target for the decoding of a watcher batch into the local event
// handlers. Each input byte pair is one event: flags and id step from the
// first, the path (from a small set under a scratch folder, some present on
// disk) from the second. Whatever the batch, every handler call holds the
// target's lock, names only paths of the batch, and a rename or move joins
// two different paths of which the new one exists.
#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/HandlerItem.h"
#include "platform/Log.h"
#include "sync/local/Directoryhandler.h"
#include "sync/local/DirectoryhandlerTask.h"
#include "sync/local/LocalEventTarget.h"

namespace {

void check(bool ok) {
  if (!ok) {
    __builtin_trap();
  }
}

std::string& scratch() {
  static std::string root;
  return root;
}

// Present: "a", "A", "b", "d/", "d/x", "k.nbcopy". Absent: the rest.
constexpr std::array<const char*, 12> kNames = {"a", "A", "b", "c", "d", "d/x", "d/y", "e/f",
                                                "k.nbcopy", "k", "", "d/x/z"};

class CheckingTarget final : public nb::LocalEventTarget {
 public:
  std::set<std::string> batchPaths;

  void lock() override {
    check(!locked_);
    locked_ = true;
  }
  void unlock() override {
    check(locked_);
    locked_ = false;
  }
  bool eventadd(const std::string& path) override { return single(path); }
  bool eventdel(const std::string& path) override { return single(path); }
  bool eventupdate(const std::string& path) override { return single(path); }
  bool eventrename(const std::string& path, const std::string& newpath, bool) override {
    return pair(path, newpath);
  }
  bool eventremove(const std::string& path, const std::string& newpath, bool) override {
    return pair(path, newpath);
  }
  void requestFullRescan() override {}

 private:
  bool single(const std::string& path) {
    check(locked_ && batchPaths.count(path) == 1);
    return true;
  }
  bool pair(const std::string& from, const std::string& to) {
    check(locked_ && from != to && batchPaths.count(from) == 1 && batchPaths.count(to) == 1);
    check(std::filesystem::exists(std::filesystem::symlink_status(to)));
    return true;
  }
  bool locked_ = false;
};

void makeScratch() {
  std::string templ = (std::filesystem::temp_directory_path() / "nb-eventbatch-XXXXXX").string();
  check(mkdtemp(templ.data()) != nullptr);
  scratch() = templ;
  namespace fs = std::filesystem;
  fs::create_directories(fs::path(templ) / "d");
  for (const char* name : {"a", "A", "b", "d/x", "k.nbcopy"}) std::ofstream(fs::path(templ) / name) << name;
  atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(scratch(), ignored);
  });
}

// One handler for the whole run: making one per input would cost a queue
// thread each time and slow the fuzzer a hundredfold.
struct Served {
  std::shared_ptr<CheckingTarget> target = std::make_shared<CheckingTarget>();
  std::shared_ptr<nb::Directoryhandler> handler;
};

Served& served() {
  static Served s = [] {
    Served made;
    made.handler = nb::Directoryhandler::initpath(scratch());
    made.handler->AddManager(made.target);
    return made;
  }();
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  nb::platform::logger()->set_level(spdlog::level::off);
  makeScratch();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto& target = served().target;
  target->batchPaths.clear();
  std::vector<nb::platform::HandlerItem> batch;
  std::int64_t id = 0;
  for (std::size_t i = 0; i + 1 < size && batch.size() < 64; i += 2) {
    const std::uint8_t flags = data[i];
    nb::platform::HandlerItem item;
    const std::string name = kNames[data[i + 1] % kNames.size()];
    item.path = name.empty() ? scratch() : scratch() + "/" + name;
    item.type = (flags >> 4) % 3;
    item.bCreate = (flags & 1) != 0;
    item.bRemove = (flags & 2) != 0;
    item.bRename = (flags & 4) != 0;
    item.bModify = (flags & 8) != 0;
    // Mostly the watcher's steps of 4, sometimes a move's new half (+1) or
    // the +2 that a case-only rename can show.
    static constexpr std::array<int, 4> kSteps = {4, 1, 2, 4};
    id += kSteps[(flags >> 6) & 3];
    item.itemid = id;
    target->batchPaths.insert(item.path);
    batch.push_back(std::move(item));
  }
  nb::DirectoryhandlerTask task(served().handler, std::move(batch));
  task.main();
  return 0;
}
