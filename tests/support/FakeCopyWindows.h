#pragma once
// The recording double of the copy windows (shell/ui/CopyWindows.h): the
// name-conflict question answers with scripted answers, progress windows
// record what they show and let a test press cancel or close them.
//
// Threads: like the real one (main thread); askReplace answers through a
// posted job, never inline. The recordings may be read from any thread.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "shell/ui/CopyWindows.h"

namespace nb::test {

class FakeProgressWindow;

// What one progress window showed, kept after the window went away.
struct ProgressRecord {
  ui::ProgressLabels labels;
  std::vector<std::optional<std::int64_t>> percents;  // every setProgress, in order
  std::string lastText;
  bool shown = false;
  ui::WebWindow* parent = nullptr;
  bool closed = false;
  FakeProgressWindow* window = nullptr;  // null once the window object is gone
};

class FakeProgressWindow final : public ui::ProgressWindow {
 public:
  FakeProgressWindow(std::shared_ptr<ProgressRecord> record, std::shared_ptr<std::mutex> mutex)
      : record_(std::move(record)), mutex_(std::move(mutex)) {}
  ~FakeProgressWindow() override;

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  void setLabels(const ui::ProgressLabels& labels) override;
  void setProgress(std::optional<std::int64_t> percent, const std::string& text) override;
  void show(ui::WebWindow* parent) override;
  void close() override;
  bool isClosed() const override { return closed_; }

  // The user pressed the cancel button / closed the window. Main thread.
  void pressCancel();
  void userClose() { close(); }

 private:
  std::shared_ptr<ProgressRecord> record_;
  std::shared_ptr<std::mutex> mutex_;
  Handlers handlers_;
  bool closed_ = false;
};

class FakeCopyWindows final : public ui::CopyWindows {
 public:
  struct Asked {
    ui::ReplaceQuestion question;
    ui::WebWindow* parent = nullptr;
  };

  // The next question is answered with this (a queue); without one, Stop.
  void answerNext(ui::ReplaceAnswer answer);
  std::vector<Asked> asked() const;

  // Every progress window made, in order (records outlive their windows).
  std::vector<ProgressRecord> progress() const;
  // The live window of record `index`; null once it is gone. Main thread.
  FakeProgressWindow* progressWindow(std::size_t index) const;

  void askReplace(const ui::ReplaceQuestion& question, ui::WebWindow* parent,
                  std::function<void(ui::ReplaceAnswer)> done) override;
  ui::ReplaceAnswer runReplace(const ui::ReplaceQuestion& question,
                               ui::WebWindow* parent) override;
  std::unique_ptr<ui::ProgressWindow> makeProgressWindow() override;

 private:
  ui::ReplaceAnswer take(const ui::ReplaceQuestion& question, ui::WebWindow* parent);

  std::shared_ptr<std::mutex> mutex_ = std::make_shared<std::mutex>();
  std::deque<ui::ReplaceAnswer> answers_;
  std::vector<Asked> asked_;
  std::vector<std::shared_ptr<ProgressRecord>> progress_;
};

// Registers a FakeCopyWindows for the scope, and takes it back.
class ScopedFakeCopyWindows {
 public:
  ScopedFakeCopyWindows();
  ~ScopedFakeCopyWindows();
  ScopedFakeCopyWindows(const ScopedFakeCopyWindows&) = delete;
  ScopedFakeCopyWindows& operator=(const ScopedFakeCopyWindows&) = delete;
  FakeCopyWindows& operator*() const { return *windows_; }
  FakeCopyWindows* operator->() const { return windows_.get(); }

 private:
  std::shared_ptr<FakeCopyWindows> windows_;
};

}  // namespace nb::test
