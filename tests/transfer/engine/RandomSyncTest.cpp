// Random two-way sync runs. The seeds come from the environment so that the
// runner (scripts/sync-seeds) can spread a long run over processes and a
// failing seed replays on its own:
//   NB_SYNC_SEED   first seed (default 1)
//   NB_SYNC_SEEDS  how many seeds from there (default 2)
//   NB_SYNC_STEPS  random edits per seed (default 30)
// Seeds that once found a fault stay below as fixed cases.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RandomSyncWorld.h"

namespace nb::test {
namespace {

uint64_t fromEnvironment(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::strtoull(text, nullptr, 10);
}

std::vector<uint64_t> seedsToRun() {
  const uint64_t first = fromEnvironment("NB_SYNC_SEED", 1);
  const uint64_t count = fromEnvironment("NB_SYNC_SEEDS", 2);
  std::vector<uint64_t> seeds;
  for (uint64_t i = 0; i < count; ++i) seeds.push_back(first + i);
  return seeds;
}

class RandomSyncTest : public RandomSyncWorld, public testing::WithParamInterface<uint64_t> {};

TEST_P(RandomSyncTest, BothSidesConvergeAndNothingIsLost) {
  runSeed(GetParam(), static_cast<int>(fromEnvironment("NB_SYNC_STEPS", 30)));
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomSyncTest, testing::ValuesIn(seedsToRun()),
                         [](const auto& test) { return "Seed" + std::to_string(test.param); });

// Seeds that found faults: a letter-case rename read as a deletion (3, 33)
// and the server's echo of one that took the folder away (2, above). Seed 15
// (another member's edit taken for the echo of our own rename) runs for
// most of a minute; its fault has a test of its own in TwoWaySyncTest.
// Seed 1046 (a replayed rename moved a row onto a file not yet uploaded,
// and the server's later deletion of that name removed it) depends on
// timing, and under load it still ends apart now and then for other
// reasons; its fault has a test of its own in PageMovesTest, and the seed
// runner replays it. Seed 1129: a folder made here reached the server just
// after another member renamed the folder above it, and following the
// rename carried it off from where the server had put it (tests of their
// own in PageMovesTest and UploadTaskTest). Seed 1087 (a local edit ended
// a download under way and left its record marked running, so the
// transfers never drained) needs a loaded machine to show it; its fault has
// a test of its own in LocalEventsTest. Seeds 1023 and 1098 (another
// member's new items in a folder renamed here dropped with its old name),
// 1028 (a fresh folder given a new letter case before its watch came, never
// watched), 1059 (a server move of a file whose row an upload had dropped)
// and 1084 (a local move the server answered "not found" left its row in
// sync with no file) have tests of their own in PageMovesTest and
// FolderWatcherTest. Letter case again: a server rename the engine followed
// (1141, 1152: its echo asked the server again, and its transfer records
// kept the old name), and one made here just before a move (1160). Seed
// 1151 (the event of file times the comparison set read as a local edit)
// still ends apart under load for a reason not yet found; its fault has a
// test of its own in LocalComparisonTest, and the seed runner replays it.
// Seed 1093 (an upload record left at the old name of a file the server
// renamed, sent again without end) and seed 1065 (a folder left behind by a
// server move it could not follow, whose files then hung under a folder row
// that claimed to be on the server only).
INSTANTIATE_TEST_SUITE_P(Found, RandomSyncTest,
                         testing::Values(3U, 33U, 1023U, 1028U, 1059U, 1065U, 1084U, 1093U,
                                         1098U, 1129U, 1141U, 1152U, 1160U),
                         [](const auto& test) { return "Seed" + std::to_string(test.param); });

}  // namespace
}  // namespace nb::test
