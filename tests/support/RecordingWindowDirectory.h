#pragma once
// A window directory for shell tests without the page bridge: keeps the
// events sent to the main page and to every page, in order, and finds no
// window for a library. Registered for its scope.

#include <mutex>
#include <string>
#include <vector>

#include "shell/windows/WindowDirectory.h"

namespace nb::test {

class RecordingWindowDirectory final : public WindowDirectory {
 public:
  struct Sent {
    std::string name;
    std::string detail;
    bool toMainOnly = true;
    bool operator==(const Sent&) const = default;
  };

  std::vector<Sent> sent() const;
  void clear();

  void setAllCustomEvent(const PageEvent& event) override;
  std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(std::int64_t) override {
    return {};
  }
  std::vector<std::shared_ptr<BaseWebWindowController>> windowsShowing(
      std::int64_t, const std::string&) override {
    return {};
  }
  void sendToMain(const PageEvent& event, bool wait) override;
  // Kept with toMainOnly false and the name prefixed "update:".
  void sendToUpdateWindow(const PageEvent& event) override;
  // Kept as "reloadPages".
  void reloadPages() override;

 private:
  mutable std::mutex mutex_;
  std::vector<Sent> sent_;  // guarded by mutex_
};

// Registers a RecordingWindowDirectory (setWindowDirectory) for the scope.
class ScopedWindowDirectory {
 public:
  ScopedWindowDirectory();
  ~ScopedWindowDirectory();
  ScopedWindowDirectory(const ScopedWindowDirectory&) = delete;
  ScopedWindowDirectory& operator=(const ScopedWindowDirectory&) = delete;
  RecordingWindowDirectory* operator->() const { return directory_.get(); }

 private:
  std::shared_ptr<RecordingWindowDirectory> directory_;
};

}  // namespace nb::test
