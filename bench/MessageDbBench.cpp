// The message store's page paths on 100,000 messages over 100 dialogs in an
// encrypted file: the newest page of one dialog, the search over all
// dialogs capped at 500, and one message upsert (a look-up and a write in
// one job). Opening pays the key derivation once.
//
// Release build, this machine, 100,000 messages: newest page ~55 ms and
// search ~56 ms (both scan the whole table: the schema has no index besides
// the primary keys), upsert ~19 ms wall / 2.4 ms CPU (one synced commit).

#include <stdlib.h>

#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "stores/messages/MessageDb.h"

namespace {

namespace fs = std::filesystem;

constexpr int kMessages = 100'000;
constexpr int kDialogs = 100;

class MessageFile {
 public:
  MessageFile() {
    std::string templ = (fs::temp_directory_path() / "nbbench-XXXXXX").string();
    dir_ = mkdtemp(templ.data()) != nullptr ? templ : fs::temp_directory_path().string();
    store = nb::MessageDb::initpath(dir_ + "/vemessage3.db", "BENCHCOMPUTER", 1);
    std::vector<nb::DialogMessage> messages(kMessages);
    for (int i = 0; i < kMessages; ++i) {
      messages[i].strDialogID = fmt::format("dialog{}", i % kDialogs);
      messages[i].strID = fmt::format("message{}", i);
      messages[i].strContent = fmt::format("message text number {}", i);
      messages[i].ullDateline = 1'700'000'000u + static_cast<unsigned>(i);
    }
    store->addDialogMessages(messages);
  }
  ~MessageFile() {
    store.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::shared_ptr<nb::MessageDb> store;

 private:
  std::string dir_;
};

MessageFile& messageFile() {
  static MessageFile file;
  return file;
}

void BM_NewestPage(benchmark::State& state) {
  auto& store = *messageFile().store;
  for (auto _ : state) benchmark::DoNotOptimize(store.getDialogMessages("dialog7", 0, 20, false));
}
BENCHMARK(BM_NewestPage)->Unit(benchmark::kMicrosecond);

void BM_SearchAll(benchmark::State& state) {
  auto& store = *messageFile().store;
  for (auto _ : state) benchmark::DoNotOptimize(store.searchDialogMessages("number 99", 500));
}
BENCHMARK(BM_SearchAll)->Unit(benchmark::kMicrosecond);

void BM_UpsertMessage(benchmark::State& state) {
  auto& store = *messageFile().store;
  nb::DialogMessage message;
  message.strDialogID = "dialog3";
  message.strID = "message3";
  std::uint64_t time = 1'800'000'000;
  for (auto _ : state) {
    message.ullDateline = ++time;
    store.addDialogMessage(message);
  }
}
BENCHMARK(BM_UpsertMessage)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
