#pragma once
// A sync manager stand-in for the folder watcher: records each handler call
// as text ("add P", "rename P Q", ...) with paths relative to a root, checks
// that every call holds its lock and none is taken twice, and can throw or
// run a hook on a chosen call.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "sync/local/LocalEventTarget.h"

namespace nb::test {

class RecordingEventTarget : public LocalEventTarget {
 public:
  explicit RecordingEventTarget(std::string root) : root_(std::move(root)) {}

  void lock() override {
    std::lock_guard guard(mutex_);
    if (locked_) lockErrors_.push_back("locked twice");
    locked_ = true;
  }
  void unlock() override {
    std::lock_guard guard(mutex_);
    if (!locked_) lockErrors_.push_back("unlocked while not locked");
    locked_ = false;
  }

  bool eventadd(const std::string& path) override { return record("add " + rel(path)); }
  bool eventdel(const std::string& path) override { return record("del " + rel(path)); }
  bool eventupdate(const std::string& path) override { return record("update " + rel(path)); }
  bool eventrename(const std::string& path, const std::string& newpath, bool push) override {
    return record("rename " + rel(path) + " " + rel(newpath) + (push ? "" : " nopush"));
  }
  bool eventremove(const std::string& path, const std::string& newpath, bool push) override {
    return record("remove " + rel(path) + " " + rel(newpath) + (push ? "" : " nopush"));
  }
  void requestFullRescan() override {
    std::lock_guard guard(mutex_);
    ++rescans_;
    changed_.notify_all();
  }

  // A call recorded as `call` throws after it was recorded.
  void throwOn(std::string call) { throwOn_ = std::move(call); }
  // Runs after a call recorded as `call` (with the lock held).
  void onCall(std::string call, std::function<void()> hook) {
    hookCall_ = std::move(call);
    hook_ = std::move(hook);
  }

  std::vector<std::string> calls() const {
    std::lock_guard guard(mutex_);
    return calls_;
  }
  std::vector<std::string> lockErrors() const {
    std::lock_guard guard(mutex_);
    return lockErrors_;
  }
  bool locked() const {
    std::lock_guard guard(mutex_);
    return locked_;
  }
  int rescans() const {
    std::lock_guard guard(mutex_);
    return rescans_;
  }
  // Waits until `done` holds for the calls so far (or a rescan count).
  bool waitFor(const std::function<bool(const std::vector<std::string>&)>& done) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, std::chrono::seconds(20), [&] { return done(calls_); });
  }
  bool waitForRescans(int count) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, std::chrono::seconds(20), [&] { return rescans_ >= count; });
  }

 private:
  std::string rel(const std::string& path) const {
    if (path == root_) return ".";
    if (path.compare(0, root_.size() + 1, root_ + "/") == 0) return path.substr(root_.size() + 1);
    return path;
  }
  bool record(std::string call) {
    {
      std::lock_guard guard(mutex_);
      if (!locked_) lockErrors_.push_back("call without lock: " + call);
      calls_.push_back(call);
      changed_.notify_all();
    }
    if (hook_ && call == hookCall_) hook_();
    if (call == throwOn_) throw std::runtime_error("handler failed on " + call);
    return true;
  }

  const std::string root_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool locked_ = false;
  std::vector<std::string> calls_;
  std::vector<std::string> lockErrors_;
  int rescans_ = 0;
  std::string throwOn_;
  std::string hookCall_;
  std::function<void()> hook_;
};

}  // namespace nb::test
