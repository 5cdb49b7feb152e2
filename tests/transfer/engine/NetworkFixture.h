#pragma once
// A transfer engine on a real transfer store in a temporary HOME, with a
// manual clock, a recording application state, a bulk-add counter and gate
// switches of its own, and fake tasks in both directions.

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "stores/transfer/TransPortDBFixture.h"
#include "support/FakeAppState.h"
#include "transfer/engine/FakeTransferTask.h"
#include "transfer/engine/Network.h"

namespace nb::test {

class NetworkTestBase : public TransPortDBTestBase {
 protected:
  void SetUp() override {
    TransPortDBTestBase::SetUp();
    app->setLoginFinish(true);
    DispatchGate gate = DispatchGate::standard();
    gate.transStart = [this] { return transStart.load(); };
    gate.librariesLoaded = [this] { return librariesLoaded.load(); };
    network = std::make_unique<transfer::Network>(transfer::Network::Options{
        .store = &store,
        .transActions = &transActions,
        .gate = std::move(gate),
        .resetSync =
            [this](std::int64_t mountid, const std::string& webpath, std::optional<bool> dir) {
              std::lock_guard lock(resetsMutex);
              resets.emplace_back(mountid, webpath, dir);
              // What the delete found in the store at the moment of the reset.
              resetSawRow.push_back(store.Get_Uploads(mountid, webpath).size());
              return true;
            },
    });
    network->dManager().setTaskFactory(downloads.factory(probe(false)));
    network->uManager().setTaskFactory(uploads.factory(probe(true)));
  }

  void TearDown() override {
    downloads.endAll();
    uploads.endAll();
    network.reset();
    TransPortDBTestBase::TearDown();
  }

  // Records, for each stop or delete reaching a task, the store's status of
  // its record at that moment (0 when the row is gone).
  FakeTransferTask::StopProbe probe(bool upload) {
    return [this, upload](FakeTransferTask& task, bool deleting) {
      const TransTaskItem item = task.item();
      const std::int64_t status = upload ? uploadStatus(item.nIndex) : downloadStatus(item.nIndex);
      std::lock_guard lock(resetsMutex);
      stopsSeen.emplace_back(item.nIndex, deleting, status);
    };
  }

  // Queues a waiting record straight into its table and answers its id.
  std::int64_t putUpload(std::int64_t mountid, const std::string& webpath,
                         std::int64_t expand = 0, bool sync = false, std::int64_t status = 2,
                         const std::string& parent = "/") {
    exec("insert into Upload(mountid, webpath, fullpath, filehash, filesize, dir, status, "
         "offset, last, actlast, expand, sync, errornum, errormsg, parentpath) "
         "values(?, ?, '/l', '', 10, 0, ?, 0, 0, 0, ?, ?, 0, '', ?)",
         {mountid, webpath, status, expand, sync, parent});
    return number("select max(id) from Upload");
  }
  std::int64_t putDownload(std::int64_t mountid, const std::string& webpath,
                           const std::string& hash, std::int64_t expand = 0, bool sync = false,
                           std::int64_t status = 2) {
    exec("insert into Download(mountid, webpath, fullpath, filehash, filesize, dir, status, "
         "offset, actlast, expand, sync, errornum, errormsg, stat) "
         "values(?, ?, ?, ?, 10, 0, ?, 0, 0, ?, ?, 0, '', 1)",
         {mountid, webpath, "/l" + webpath, hash, status, expand, sync});
    return number("select max(id) from Download");
  }
  std::int64_t uploadStatus(std::int64_t id) {
    return number("select status from Upload where id = ?", {id});
  }
  std::int64_t downloadStatus(std::int64_t id) {
    return number("select status from Download where id = ?", {id});
  }

  // Lets the loops run: advances the manual clock by small steps whenever a
  // thread sleeps on it, until `done` holds. False after 20 s of real time.
  bool runUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
      if (std::chrono::steady_clock::now() > limit) return false;
      if (clock->sleepers() > 0) {
        clock->advance(std::chrono::milliseconds(100));
      } else {
        std::this_thread::yield();
      }
    }
    return true;
  }
  // Lets the loops run until the registries hold `up` and `down` tasks, and
  // then until the dispatch that made the last one is complete (its record
  // marked, its task listed): emptying a pending list waits for that.
  bool runUntilMade(std::size_t up, std::size_t down) {
    if (!runUntil([&] { return uploads.size() >= up && downloads.size() >= down; })) return false;
    network->uManager().clearPending();
    network->dManager().clearPending();
    return uploads.size() == up && downloads.size() == down;
  }

  // Lets the loops run for `span` of manual time (each step only once some
  // thread sleeps, so every loop gets its passes).
  void runFor(std::chrono::milliseconds span) {
    for (auto passed = std::chrono::milliseconds(0); passed < span;
         passed += std::chrono::milliseconds(100)) {
      ASSERT_TRUE(clock->waitForSleepers(1));
      clock->advance(std::chrono::milliseconds(100));
    }
  }

  ScopedAppState app;
  std::atomic<bool> transStart{true};
  std::atomic<bool> librariesLoaded{true};
  TransActionCounter transActions;
  FakeTaskRegistry downloads;
  FakeTaskRegistry uploads;
  std::mutex resetsMutex;
  std::vector<std::tuple<std::int64_t, std::string, std::optional<bool>>> resets;
  std::vector<std::size_t> resetSawRow;
  std::vector<std::tuple<std::int64_t, bool, std::int64_t>> stopsSeen;
  std::unique_ptr<transfer::Network> network;
};

}  // namespace nb::test
