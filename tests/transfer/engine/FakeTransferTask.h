#pragma once
// Transfer tasks for the engine's tests: each runs until the test ends it or
// a command stops it, and a registry records every task made, in order.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/engine/DownloadTransferTask.h"

namespace nb::test {

class FakeTransferTask final : public DownloadTransferTask {
 public:
  // Runs when a command reaches the task's sources, with whether it deletes.
  using StopProbe = std::function<void(FakeTransferTask&, bool deleting)>;

  FakeTransferTask(TransTaskItem item, StopProbe probe)
      : DownloadTransferTask(std::move(item)), probe_(std::move(probe)) {}

  void run() override {
    std::unique_lock lock(mutex_);
    running_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return end_ || bStop(); });
    if (throw_) throw std::runtime_error("task failed");
  }

  // Lets the body return; with `fail`, it throws instead.
  void end(bool fail = false) {
    std::lock_guard lock(mutex_);
    end_ = true;
    throw_ = fail;
    changed_.notify_all();
  }
  bool waitRunning() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return running_; });
  }

  void AddUdpPeer(const std::string& address) override { peers.push_back(address); }
  void AddUdpPeer(const std::string& address, bool, bool, std::int64_t,
                  const std::string& have) override {
    peers.push_back(address + "|" + have);
  }
  bool bHttpAble() const override { return true; }
  bool bHttpStart() const override { return false; }
  std::string haveRanges() const override { return "0-9"; }

  std::vector<std::string> peers;

 protected:
  void stopSources(bool deleting) override {
    if (probe_) probe_(*this, deleting);
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  }

 private:
  const StopProbe probe_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool running_ = false;  // guarded by mutex_
  bool end_ = false;      // guarded by mutex_
  bool throw_ = false;    // guarded by mutex_
};

// Makes FakeTransferTasks and keeps every one, in the order made.
class FakeTaskRegistry {
 public:
  TransferTaskFactory factory(FakeTransferTask::StopProbe probe = {}) {
    return [this, probe](const TransTaskItem& item) {
      auto task = std::make_shared<FakeTransferTask>(item, probe);
      std::lock_guard lock(mutex_);
      tasks_.push_back(task);
      return task;
    };
  }
  std::vector<std::shared_ptr<FakeTransferTask>> tasks() const {
    std::lock_guard lock(mutex_);
    return tasks_;
  }
  std::size_t size() const { return tasks().size(); }
  std::vector<std::int64_t> ids() const {
    std::vector<std::int64_t> out;
    for (const auto& task : tasks()) out.push_back(task->nIndex());
    return out;
  }
  // The first task made for the record, or null.
  std::shared_ptr<FakeTransferTask> find(std::int64_t id) const {
    for (const auto& task : tasks()) {
      if (task->nIndex() == id) return task;
    }
    return nullptr;
  }
  void endAll() {
    for (const auto& task : tasks()) task->end();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<FakeTransferTask>> tasks_;
};

}  // namespace nb::test
