#include "support/FakeCopyWindows.h"

#include <utility>

#include "platform/MainThread.h"

namespace nb::test {

FakeProgressWindow::~FakeProgressWindow() {
  std::lock_guard lock(*mutex_);
  record_->window = nullptr;
}

void FakeProgressWindow::setLabels(const ui::ProgressLabels& labels) {
  std::lock_guard lock(*mutex_);
  record_->labels = labels;
}

void FakeProgressWindow::setProgress(std::optional<std::int64_t> percent,
                                     const std::string& text) {
  std::lock_guard lock(*mutex_);
  record_->percents.push_back(percent);
  record_->lastText = text;
}

void FakeProgressWindow::show(ui::WebWindow* parent) {
  std::lock_guard lock(*mutex_);
  record_->shown = true;
  record_->parent = parent;
}

void FakeProgressWindow::close() {
  if (closed_) return;
  closed_ = true;
  {
    std::lock_guard lock(*mutex_);
    record_->closed = true;
  }
  if (auto closed = std::exchange(handlers_.closed, nullptr)) closed();
  handlers_ = {};
}

void FakeProgressWindow::pressCancel() {
  if (closed_) return;
  if (auto cancel = handlers_.cancelClicked) cancel();
}

void FakeCopyWindows::answerNext(ui::ReplaceAnswer answer) {
  std::lock_guard lock(*mutex_);
  answers_.push_back(answer);
}

std::vector<FakeCopyWindows::Asked> FakeCopyWindows::asked() const {
  std::lock_guard lock(*mutex_);
  return asked_;
}

std::vector<ProgressRecord> FakeCopyWindows::progress() const {
  std::lock_guard lock(*mutex_);
  std::vector<ProgressRecord> records;
  for (const auto& record : progress_) records.push_back(*record);
  return records;
}

FakeProgressWindow* FakeCopyWindows::progressWindow(std::size_t index) const {
  std::lock_guard lock(*mutex_);
  return index < progress_.size() ? progress_[index]->window : nullptr;
}

ui::ReplaceAnswer FakeCopyWindows::take(const ui::ReplaceQuestion& question,
                                        ui::WebWindow* parent) {
  std::lock_guard lock(*mutex_);
  asked_.push_back({question, parent});
  if (answers_.empty()) return {};
  ui::ReplaceAnswer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

void FakeCopyWindows::askReplace(const ui::ReplaceQuestion& question, ui::WebWindow* parent,
                                 std::function<void(ui::ReplaceAnswer)> done) {
  const ui::ReplaceAnswer answer = take(question, parent);
  platform::MainThread::post([done = std::move(done), answer] { done(answer); });
}

ui::ReplaceAnswer FakeCopyWindows::runReplace(const ui::ReplaceQuestion& question,
                                              ui::WebWindow* parent) {
  return take(question, parent);
}

std::unique_ptr<ui::ProgressWindow> FakeCopyWindows::makeProgressWindow() {
  auto record = std::make_shared<ProgressRecord>();
  auto window = std::make_unique<FakeProgressWindow>(record, mutex_);
  std::lock_guard lock(*mutex_);
  record->window = window.get();
  progress_.push_back(std::move(record));
  return window;
}

ScopedFakeCopyWindows::ScopedFakeCopyWindows() : windows_(std::make_shared<FakeCopyWindows>()) {
  ui::setCopyWindows(windows_);
}

ScopedFakeCopyWindows::~ScopedFakeCopyWindows() { ui::setCopyWindows(nullptr); }

}  // namespace nb::test
