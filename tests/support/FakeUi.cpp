#include "support/FakeUi.h"

#include <fstream>

#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::test {

using platform::MainThread;

// --- FakeUiWindow -----------------------------------------------------------------------------

FakeUiWindow::FakeUiWindow(std::int64_t hwnd, ui::WebWindowOptions options)
    : hwnd_(hwnd), options_(std::move(options)) {}

std::vector<FakeUiWindow::RaisedEvent> FakeUiWindow::events() const {
  std::lock_guard lock(eventsMutex_);
  return events_;
}

std::vector<std::string> FakeUiWindow::eventNames() const {
  std::vector<std::string> names;
  for (const auto& event : events()) names.push_back(event.name);
  return names;
}

void FakeUiWindow::clearEvents() {
  std::lock_guard lock(eventsMutex_);
  events_.clear();
}

void FakeUiWindow::finishLoad() {
  loading_ = false;
  if (handlers_.loadFinished) handlers_.loadFinished();
}

void FakeUiWindow::dropFiles(std::vector<std::string> paths, double x, double y) {
  if (handlers_.fileDrop) handlers_.fileDrop(ui::FileDrop{std::move(paths), x, y});
}

void FakeUiWindow::endDragOut(const std::optional<std::string>& folder) {
  if (handlers_.dragOutEnded) handlers_.dragOutEnded(folder);
}

bool FakeUiWindow::userClose() {
  if (closed_) return true;
  if (handlers_.closeRequested && !handlers_.closeRequested()) return false;
  close();
  return true;
}

bool FakeUiWindow::postMessage(const std::string& name, const std::string& body,
                               const std::string& pageUri) {
  for (const auto& [handlerName, handler] : messageHandlers_) {
    if (handlerName == name) {
      handler(body, pageUri);
      return true;
    }
  }
  return false;
}

void FakeUiWindow::load(const std::string& url, const std::optional<std::string>& acceptLanguage) {
  loads_.push_back({url, acceptLanguage});
  loading_ = true;
}

void FakeUiWindow::reload() {
  ++reloads_;
  loading_ = true;
}

void FakeUiWindow::present(const std::string&) {
  ++presents_;
  visible_ = true;
}

void FakeUiWindow::close() {
  if (closed_) return;
  const bool wasVisible = visible_;
  closed_ = true;
  visible_ = false;
  Handlers handlers = std::exchange(handlers_, {});
  if (handlers.closed) handlers.closed(wasVisible);
}

void FakeUiWindow::setFrame(const ui::Rect& frame) { frame_ = frame; }

void FakeUiWindow::center() {
  frame_.x = screen_.x + (screen_.width - frame_.width) / 2;
  frame_.y = screen_.y + (screen_.height - frame_.height) / 2;
}

void FakeUiWindow::record(const PageEvent& event) {
  std::lock_guard lock(eventsMutex_);
  events_.push_back({event.name(), event.detail()});
}

void FakeUiWindow::raiseEvent(const PageEvent& event) {
  if (MainThread::isMainThread()) {
    record(event);
    return;
  }
  // As the real window: the page runs the script on the main thread and a
  // caller elsewhere waits for it.
  MainThread::postAndWait([this, event] { record(event); });
}

void FakeUiWindow::addMessageHandler(const std::string& name, MessageHandler handler) {
  messageHandlers_.emplace_back(name, std::move(handler));
}

// --- FakeDialogs -------------------------------------------------------------------------------

void FakeDialogs::answerNext(int index) {
  std::lock_guard lock(mutex_);
  answers_.push_back(index);
}

std::optional<int> FakeDialogs::takeAnswer() {
  std::lock_guard lock(mutex_);
  if (answers_.empty()) return std::nullopt;
  const int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

bool FakeDialogs::respond(int index) {
  std::function<void(int)> done;
  {
    std::lock_guard lock(mutex_);
    if (waiting_.empty()) return false;
    done = std::move(waiting_.front());
    waiting_.pop_front();
  }
  MainThread::post([done = std::move(done), index] { done(index); });
  return true;
}

std::size_t FakeDialogs::waiting() const {
  std::lock_guard lock(mutex_);
  return waiting_.size();
}

std::vector<FakeDialogs::Shown> FakeDialogs::shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

void FakeDialogs::showAlert(const ui::Alert& alert, ui::WebWindow* parent, ui::Modality modality,
                            std::function<void(int)> done) {
  {
    std::lock_guard lock(mutex_);
    shown_.push_back({alert, parent, modality, false});
    waiting_.push_back(std::move(done));
  }
  if (auto answer = takeAnswer()) respond(*answer);
}

int FakeDialogs::runAlert(const ui::Alert& alert, ui::WebWindow* parent, ui::Modality modality) {
  {
    std::lock_guard lock(mutex_);
    shown_.push_back({alert, parent, modality, true});
  }
  if (auto answer = takeAnswer()) return *answer;
  NBLOG_WARN("fake alert without a scripted answer: the last button");
  return static_cast<int>(alert.buttons.size()) - 1;
}

void FakeDialogs::answerNextFolder(std::optional<std::string> folder) {
  std::lock_guard lock(mutex_);
  folderAnswers_.push_back(std::move(folder));
}

std::vector<ui::FolderChooser> FakeDialogs::foldersAsked() const {
  std::lock_guard lock(mutex_);
  return foldersAsked_;
}

void FakeDialogs::chooseFolder(const ui::FolderChooser& chooser, ui::WebWindow*,
                               std::function<void(std::optional<std::string>)> done) {
  std::optional<std::string> answer;
  {
    std::lock_guard lock(mutex_);
    foldersAsked_.push_back(chooser);
    if (!folderAnswers_.empty()) {
      answer = std::move(folderAnswers_.front());
      folderAnswers_.pop_front();
    }
  }
  MainThread::post([done = std::move(done), answer = std::move(answer)] { done(answer); });
}

void FakeDialogs::answerNextFiles(std::optional<std::vector<std::string>> paths) {
  std::lock_guard lock(mutex_);
  filesAnswers_.push_back(std::move(paths));
}

std::vector<ui::FilesChooser> FakeDialogs::filesAsked() const {
  std::lock_guard lock(mutex_);
  return filesAsked_;
}

void FakeDialogs::chooseFiles(const ui::FilesChooser& chooser, ui::WebWindow*,
                              std::function<void(std::optional<std::vector<std::string>>)> done) {
  std::optional<std::vector<std::string>> answer;
  {
    std::lock_guard lock(mutex_);
    filesAsked_.push_back(chooser);
    if (!filesAnswers_.empty()) {
      answer = std::move(filesAnswers_.front());
      filesAnswers_.pop_front();
    }
  }
  MainThread::post([done = std::move(done), answer = std::move(answer)] { done(answer); });
}

// --- FakeNotifier ------------------------------------------------------------------------------

bool FakeNotifier::show(const ui::Notification& notification) {
  if (!available_) return false;
  shown_.push_back(notification);
  ended_.push_back(false);
  return true;
}

void FakeNotifier::click(std::size_t index) {
  if (index >= shown_.size() || ended_[index]) return;
  ended_[index] = true;
  if (handlers_.clicked) handlers_.clicked(shown_[index].context);
}

void FakeNotifier::timeOut(std::size_t index) {
  if (index >= shown_.size() || ended_[index]) return;
  ended_[index] = true;
  if (handlers_.closed) handlers_.closed(shown_[index].context);
}

// --- FakeUi ------------------------------------------------------------------------------------

std::shared_ptr<ui::WebWindow> FakeUi::makeWebWindow(const ui::WebWindowOptions& options) {
  auto window = std::make_shared<FakeUiWindow>(nextHwnd_++, options);
  window->setScreenArea(screen_);
  windows_.push_back(window);
  return window;
}

std::shared_ptr<ui::StatusItem> FakeUi::makeStatusItem(const std::string& id) {
  statusItem_ = std::make_shared<FakeStatusItem>();
  statusItemId_ = id;
  return statusItem_;
}

void FakeStatusItem::setImage(const std::string& file, bool monochrome) {
  image_ = file;
  monochrome_ = monochrome;
  spinning_ = false;
  ++imageChanges_;
}

void FakeStatusItem::setSpinningImage(const std::string& background, const std::string& spinner) {
  image_ = background + " + " + spinner;
  monochrome_ = false;
  spinning_ = true;
  ++imageChanges_;
}

std::vector<std::string> FakeStatusItem::menuTitles() const {
  std::vector<std::string> titles;
  for (const auto& entry : menu_) titles.push_back(entry.isSeparator() ? "-" : entry.title);
  return titles;
}

bool FakeStatusItem::activate(const std::string& title) {
  for (const auto& entry : menu_) {
    if (entry.title == title && entry.activate) {
      // A copy: the action may replace the menu.
      auto action = entry.activate;
      action();
      return true;
    }
  }
  return false;
}

std::unique_ptr<ui::GlobalHotKey> FakeUi::makeGlobalHotKey(std::function<void()> pressed) {
  auto hotKey = std::make_unique<FakeGlobalHotKey>(std::move(pressed));
  globalHotKey_ = hotKey.get();
  return hotKey;
}

bool FakeGlobalHotKey::grab(const std::string& key, ui::HotKeyModifiers modifiers) {
  key_ = key;
  modifiers_ = modifiers;
  ++grabs_;
  return true;
}

bool FakeGlobalHotKey::press() {
  if (key_.empty()) return false;
  pressed_();
  return true;
}

void FakeScreenCapture::captureToClipboard(std::function<void(bool captured)> done) {
  ++started_;
  pending_.push_back(std::move(done));
}

bool FakeScreenCapture::finish(bool captured) {
  if (pending_.empty()) return false;
  auto done = std::move(pending_.front());
  pending_.pop_front();
  platform::MainThread::post([done = std::move(done), captured] { done(captured); });
  return true;
}

void FakeScreenCapture::captureToFile(const std::string& path,
                                      std::function<void(bool captured)> done) {
  captureToClipboard([path, done = std::move(done)](bool captured) {
    if (captured) std::ofstream(path, std::ios::binary) << "captured";
    done(captured);
  });
}

void FakeClipboard::requestFiles(std::function<void(std::vector<std::string>)> done) {
  platform::MainThread::post([done = std::move(done), files = files_] { done(files); });
}

void FakeClipboard::requestImageAsJpeg(const std::string&, std::function<void(bool)> done) {
  platform::MainThread::post([done = std::move(done)] { done(false); });
}

ScopedFakeUi::ScopedFakeUi() : ui_(std::make_shared<FakeUi>()) { ui::setUi(ui_); }

ScopedFakeUi::~ScopedFakeUi() { ui::setUi(nullptr); }

}  // namespace nb::test
