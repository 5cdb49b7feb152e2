#include "support/RecordingWindowDirectory.h"

namespace nb::test {

std::vector<RecordingWindowDirectory::Sent> RecordingWindowDirectory::sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

void RecordingWindowDirectory::clear() {
  std::lock_guard lock(mutex_);
  sent_.clear();
}

void RecordingWindowDirectory::setAllCustomEvent(const PageEvent& event) {
  std::lock_guard lock(mutex_);
  sent_.push_back({event.name(), event.detail(), false});
}

void RecordingWindowDirectory::sendToMain(const PageEvent& event, bool) {
  std::lock_guard lock(mutex_);
  sent_.push_back({event.name(), event.detail(), true});
}

void RecordingWindowDirectory::sendToUpdateWindow(const PageEvent& event) {
  std::lock_guard lock(mutex_);
  sent_.push_back({"update:" + event.name(), event.detail(), false});
}

void RecordingWindowDirectory::reloadPages() {
  std::lock_guard lock(mutex_);
  sent_.push_back({"reloadPages", "", false});
}

ScopedWindowDirectory::ScopedWindowDirectory()
    : directory_(std::make_shared<RecordingWindowDirectory>()) {
  setWindowDirectory(directory_);
}

ScopedWindowDirectory::~ScopedWindowDirectory() { setWindowDirectory(nullptr); }

}  // namespace nb::test
