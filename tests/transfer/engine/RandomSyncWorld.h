#pragma once
// A seeded random run of two-way sync: the real watcher, sync engine and
// transfer engine against the fake service, with a stream of random edits
// on both sides (and faults on the wire) between the client's own passes.
// After the run the service stops failing, the client settles, and the two
// sides, the rows and every piece of content are checked.
//
// One run is one seed; the same seed makes the same choices, so a failing
// seed replays with NB_SYNC_SEED=<seed> NB_SYNC_SEEDS=1.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/RealTransferEngine.h"
#include "sync/local/LocalWorld.h"

namespace nb::test {

class RandomSyncWorld : public LocalWorld {
 protected:
  void SetUp() override;
  void TearDown() override;
  bool watching() const override { return true; }

  // The whole run of one seed; failures name the seed and list the steps.
  void runSeed(uint64_t seed, int steps);

 private:
  struct Item {
    std::string path;  // below the linked folder
    bool dir = false;
  };
  enum class Side { kLocal, kServer };

  // --- Random choices ------------------------------------------------------------
  size_t pick(size_t count) { return std::uniform_int_distribution<size_t>(0, count - 1)(random_); }
  bool chance(int percent) { return static_cast<int>(pick(100)) < percent; }
  std::string freshContent();

  // --- What each side holds now ------------------------------------------------------
  std::vector<Item> items(Side side);
  std::vector<std::string> folders(Side side);  // "" (the linked folder) first
  // Whether a name is taken at `path` on either side, letters compared
  // without regard to case (the service's own rule).
  bool taken(const std::string& path);
  std::optional<std::string> freeName(const std::string& folder, bool dir);
  // Whether the item may go into `target` as it is named now.
  bool canMove(const Item& item, const std::string& target);

  // --- Edits -------------------------------------------------------------------------
  void randomStep();
  void localStep();
  void serverStep();
  void injectFault();
  void makeSymlink();
  void noteWrite(const std::string& bytes, const std::string& what);
  void forgetLocal(const std::string& relative);
  void forgetServer(const std::string& relative);

  // --- The client's own work -----------------------------------------------------
  void settle();
  void pass();
  void engineSteps(int count);
  // Faults stop, the full-account pause runs out, and passes run until the
  // two sides agree (or a bound is reached).
  void quiesce();

  // --- Checks ------------------------------------------------------------------------
  // The local tree as the engine is meant to see it: links to files and
  // dangling links are not items, a link to a folder outside is walked, a
  // link back into the tree ends there.
  Tree syncedLocalTree();
  std::set<std::string> localTrashContent();
  void check();
  std::string history() const;

  std::unique_ptr<RealTransferEngine> engine_;
  std::mt19937_64 random_;
  uint64_t seed_ = 0;
  int step_ = 0;
  std::vector<std::string> log_;
  // Content every side ever wrote (hash -> the step that wrote it), and what
  // of it no later edit has taken back.
  std::map<std::string, std::string> written_;
  std::set<std::string> mustSurvive_;
  std::vector<std::string> serverRemoved_;
  std::set<int> links_;  // kinds of link made so far
  std::optional<std::string> rewrite_;  // a file to write again while it uploads
};

}  // namespace nb::test
