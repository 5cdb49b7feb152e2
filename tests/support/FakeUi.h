#pragma once
// The recording double of the shell's user interface (shell/ui/Ui.h): no
// display needed. It records every call, lets a test answer dialogs,
// simulate page loads, drops, drag-out ends, closes and page messages, and
// keeps the events raised in each window in order.
//
// Threads: like the real one. FakeUiWindow::raiseEvent off the main thread
// posts the recording to the main thread and waits for it, so a test must
// pump the main thread (support/PumpMainThread.h) while a worker raises
// events; dialogs answer through posted jobs, never inline.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/ui/Ui.h"

namespace nb::test {

class FakeUiWindow final : public ui::WebWindow {
 public:
  struct Load {
    std::string url;
    std::optional<std::string> acceptLanguage;
  };
  struct RaisedEvent {
    std::string name;
    std::string detail;
  };
  struct FunctionCall {
    std::string body;
    std::string argument;
  };

  FakeUiWindow(std::int64_t hwnd, ui::WebWindowOptions options);

  // --- What was done to the window ----------------------------------------------
  const ui::WebWindowOptions& options() const { return options_; }
  const std::vector<Load>& loads() const { return loads_; }
  int reloads() const { return reloads_; }
  // Events that reached the page, in order. Any thread.
  std::vector<RaisedEvent> events() const;
  std::vector<std::string> eventNames() const;
  void clearEvents();
  const std::vector<FunctionCall>& functionCalls() const { return functionCalls_; }
  const std::vector<std::string>& userScripts() const { return userScripts_; }
  int presents() const { return presents_; }
  bool modal() const { return modal_; }
  std::string title() const { return title_; }
  WebWindow* transientFor() const { return transientFor_; }
  bool keepAbove() const { return keepAbove_; }

  // --- Simulations (main thread) ------------------------------------------------------
  void setScreenArea(const ui::Rect& area) { screen_ = area; }
  // The page finished loading.
  void finishLoad();
  // The page opened a script dialog: the answer it got; nothing when the
  // engine's own dialog would show.
  std::optional<bool> runScriptDialog(ui::ScriptDialogKind kind, const std::string& message) {
    if (!handlers_.scriptDialog) return std::nullopt;
    return handlers_.scriptDialog(kind, message);
  }
  // The page's title arrived.
  void receiveTitle(const std::string& title) {
    if (handlers_.titleChanged) handlers_.titleChanged(title);
  }
  void dropFiles(std::vector<std::string> paths, double x, double y);
  void endDragOut(const std::optional<std::string>& folder);
  // The user pressed the close button: answers whether the window closed.
  bool userClose();
  // The page posted `body` to the message handler `name`; false when no
  // such handler is installed.
  bool postMessage(const std::string& name, const std::string& body, const std::string& pageUri);

  // --- ui::WebWindow --------------------------------------------------------------------
  std::int64_t hwnd() const override { return hwnd_; }
  ui::WindowKind kind() const override { return options_.kind; }
  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  void load(const std::string& url, const std::optional<std::string>& acceptLanguage) override;
  void reload() override;
  bool isLoading() const override { return loading_; }
  std::string currentUri() const override { return loads_.empty() ? "" : loads_.back().url; }
  void show() override { visible_ = true; }
  void hide() override { visible_ = false; }
  void present(const std::string&) override;
  void close() override;
  void requestClose() override { userClose(); }
  bool isVisible() const override { return visible_; }
  bool isClosed() const override { return closed_; }
  void setTitle(const std::string& title) override { title_ = title; }
  ui::Rect frame() const override { return frame_; }
  void setFrame(const ui::Rect& frame) override;
  void setMinSize(const ui::Size& size) override { minSize_ = size; }
  ui::Size minSize() const override { return minSize_; }
  void center() override;
  void setResizable(bool resizable) override { resizable_ = resizable; }
  bool isFullScreen() const override { return fullScreen_; }
  void setFullScreen(bool on) override { fullScreen_ = on; }
  void setKeepAbove(bool above) override { keepAbove_ = above; }
  void setTransientFor(WebWindow* parent) override { transientFor_ = parent; }
  ui::Rect screenArea() const override { return screen_; }
  void setInputEnabled(bool enabled) override { inputEnabled_ = enabled; }
  bool inputEnabled() const override { return inputEnabled_; }
  // Records the modal state and returns at once (a test has no user to
  // end it).
  void runModal() override { modal_ = true; }
  void stopModal() override { modal_ = false; }
  void raiseEvent(const PageEvent& event) override;
  void setDragOutFiles(std::vector<std::string> paths) override { dragOutFiles_ = std::move(paths); }
  const std::vector<std::string>& dragOutFiles() const { return dragOutFiles_; }
  void addUserScript(const std::string& source, const std::vector<std::string>&) override {
    userScripts_.push_back(source);
  }
  void addMessageHandler(const std::string& name, MessageHandler handler) override;
  void callFunction(const std::string& functionBody, const std::string& argument) override {
    functionCalls_.push_back({functionBody, argument});
  }
  void minimize() override { ++minimizes_; }
  void runEditCommand(ui::EditCommand command) override { editCommands_.push_back(command); }
  int minimizes() const { return minimizes_; }
  const std::vector<ui::EditCommand>& editCommands() const { return editCommands_; }

 private:
  void record(const PageEvent& event);

  const std::int64_t hwnd_;
  const ui::WebWindowOptions options_;
  Handlers handlers_;
  std::vector<Load> loads_;
  int reloads_ = 0;
  int presents_ = 0;
  bool loading_ = false;
  bool visible_ = false;
  bool closed_ = false;
  bool fullScreen_ = false;
  bool inputEnabled_ = true;
  bool resizable_ = true;
  bool keepAbove_ = false;
  bool modal_ = false;
  std::string title_;
  WebWindow* transientFor_ = nullptr;
  ui::Rect frame_{0, 0, 640, 480};
  ui::Rect screen_{0, 0, 1280, 1024};
  ui::Size minSize_;
  std::vector<std::string> userScripts_;
  std::vector<std::pair<std::string, MessageHandler>> messageHandlers_;
  std::vector<FunctionCall> functionCalls_;
  std::vector<std::string> dragOutFiles_;
  int minimizes_ = 0;
  std::vector<ui::EditCommand> editCommands_;

  mutable std::mutex eventsMutex_;
  std::vector<RaisedEvent> events_;  // guarded by eventsMutex_
};

class FakeDialogs final : public ui::Dialogs {
 public:
  struct Shown {
    ui::Alert alert;
    ui::WebWindow* parent = nullptr;
    ui::Modality modality = ui::Modality::Window;
    bool ranModal = false;  // runAlert rather than showAlert
  };

  // The next alert is answered with the button `index` (a queue).
  void answerNext(int index);
  // Answers the oldest alert still waiting; false when none waits.
  bool respond(int index);
  std::size_t waiting() const;
  std::vector<Shown> shown() const;

  void showAlert(const ui::Alert& alert, ui::WebWindow* parent, ui::Modality modality,
                 std::function<void(int)> done) override;
  // The scripted answer, else the last button.
  int runAlert(const ui::Alert& alert, ui::WebWindow* parent, ui::Modality modality) override;

  // Image choosers answer the scripted path ("" for cancel) and remember
  // their parent.
  void answerNextImage(std::string path) { imageAnswer_ = std::move(path); }
  std::string chooseImage(ui::WebWindow* parent) override {
    imageParents_.push_back(parent);
    return std::exchange(imageAnswer_, {});
  }
  const std::vector<ui::WebWindow*>& imageParents() const { return imageParents_; }
  // About windows shown, and the link press of the last one.
  void showAbout(const ui::AboutBox& about, std::function<void()> linkClicked) override {
    abouts_.push_back(about);
    aboutLink_ = std::move(linkClicked);
  }
  const std::vector<ui::AboutBox>& abouts() const { return abouts_; }
  void pressAboutLink() const {
    if (aboutLink_) aboutLink_();
  }

  // Folder choosers: each is answered, through a posted job, with the next
  // scripted folder (nothing: cancelled); without one it is cancelled.
  void answerNextFolder(std::optional<std::string> folder);
  std::vector<ui::FolderChooser> foldersAsked() const;
  void chooseFolder(const ui::FolderChooser& chooser, ui::WebWindow* parent,
                    std::function<void(std::optional<std::string>)> done) override;
  // Files choosers: answered like folder choosers, with the next scripted
  // list of paths.
  void answerNextFiles(std::optional<std::vector<std::string>> paths);
  std::vector<ui::FilesChooser> filesAsked() const;
  void chooseFiles(const ui::FilesChooser& chooser, ui::WebWindow* parent,
                   std::function<void(std::optional<std::vector<std::string>>)> done) override;

 private:
  std::optional<int> takeAnswer();

  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::deque<std::function<void(int)>> waiting_;
  std::vector<Shown> shown_;
  std::string imageAnswer_;
  std::vector<ui::WebWindow*> imageParents_;
  std::vector<ui::AboutBox> abouts_;
  std::function<void()> aboutLink_;
  std::deque<std::optional<std::string>> folderAnswers_;
  std::vector<ui::FolderChooser> foldersAsked_;
  std::deque<std::optional<std::vector<std::string>>> filesAnswers_;
  std::vector<ui::FilesChooser> filesAsked_;
};

class FakeNotifier final : public ui::Notifier {
 public:
  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  bool show(const ui::Notification& notification) override;
  const std::vector<ui::Notification>& shown() const { return shown_; }
  // The user clicked / the desktop closed the notification shown as number
  // `index`; each ends once.
  void click(std::size_t index);
  void timeOut(std::size_t index);
  // Whether show() reaches the desktop.
  void setAvailable(bool available) { available_ = available; }

 private:
  Handlers handlers_;
  std::vector<ui::Notification> shown_;
  std::vector<bool> ended_;
  bool available_ = true;
};

class FakeClipboard final : public ui::Clipboard {
 public:
  void setText(const std::string& text) override {
    text_ = text;
    html_.reset();
  }
  void setHtml(const std::string& html, const std::string& plainText) override {
    html_ = html;
    text_ = plainText;
  }
  std::optional<std::string> text() override { return text_; }
  const std::optional<std::string>& html() const { return html_; }
  void setHtmlOnly(const std::string& html) override {
    html_ = html;
    text_.reset();
  }
  bool setImageFromFile(const std::string& path) override {
    image_ = path;
    return true;
  }
  // The files a paste finds; a paste answers later, like the desktop's.
  void setFiles(std::vector<std::string> paths) { files_ = std::move(paths); }
  void requestFiles(std::function<void(std::vector<std::string>)> done) override;
  // A paste finds no picture.
  void requestImageAsJpeg(const std::string&, std::function<void(bool)> done) override;
  const std::optional<std::string>& imageFile() const { return image_; }

 private:
  std::optional<std::string> text_;
  std::optional<std::string> html_;
  std::optional<std::string> image_;
  std::vector<std::string> files_;
};

class FakeStatusItem final : public ui::StatusItem {
 public:
  // What the item shows: the image file, or for the spinning state the
  // background and spinner joined by " + ".
  std::string image() const { return image_; }
  bool monochrome() const { return monochrome_; }
  bool spinning() const { return spinning_; }
  // How often the image changed.
  int imageChanges() const { return imageChanges_; }
  std::string label() const { return label_; }
  std::int64_t badgeCount() const { return badgeCount_; }
  // The menu's titles in order; "-" for a separator.
  std::vector<std::string> menuTitles() const;
  // Runs the action of the entry titled `title`; false when there is none.
  bool activate(const std::string& title);

  void setImage(const std::string& file, bool monochrome) override;
  void setSpinningImage(const std::string& background, const std::string& spinner) override;
  void setLabel(const std::string& text) override { label_ = text; }
  void setBadgeCount(std::int64_t count) override { badgeCount_ = count; }
  void setMenu(std::vector<ui::MenuEntry> entries) override { menu_ = std::move(entries); }

 private:
  std::string image_;
  bool monochrome_ = false;
  bool spinning_ = false;
  int imageChanges_ = 0;
  std::string label_;
  std::int64_t badgeCount_ = 0;
  std::vector<ui::MenuEntry> menu_;
};

// Captures finish only when the test says so, each once.
class FakeScreenCapture final : public ui::ScreenCapture {
 public:
  void captureToClipboard(std::function<void(bool captured)> done) override;
  // Waits like captureToClipboard; a finished capture writes a small file.
  void captureToFile(const std::string& path, std::function<void(bool captured)> done) override;
  // Captures started so far.
  int started() const { return started_; }
  // Captures still waiting for the test.
  std::size_t pending() const { return pending_.size(); }
  // Ends the oldest waiting capture (posted to the main thread, as the
  // desktop's answer comes); false when none waits.
  bool finish(bool captured);

 private:
  int started_ = 0;
  std::deque<std::function<void(bool)>> pending_;
};

class FakeGlobalHotKey final : public ui::GlobalHotKey {
 public:
  explicit FakeGlobalHotKey(std::function<void()> pressed) : pressed_(std::move(pressed)) {}
  bool grab(const std::string& key, ui::HotKeyModifiers modifiers) override;
  void release() override { key_.clear(); }
  // The grabbed key ("" when none) and its modifiers.
  const std::string& key() const { return key_; }
  const ui::HotKeyModifiers& modifiers() const { return modifiers_; }
  int grabs() const { return grabs_; }
  // The user pressed the grabbed combination; false when nothing is grabbed.
  bool press();

 private:
  std::function<void()> pressed_;
  std::string key_;
  ui::HotKeyModifiers modifiers_;
  int grabs_ = 0;
};

class FakeUi final : public ui::Ui {
 public:
  std::shared_ptr<ui::WebWindow> makeWebWindow(const ui::WebWindowOptions& options) override;
  FakeDialogs& dialogs() override { return dialogs_; }
  FakeNotifier& notifier() override { return notifier_; }
  FakeClipboard& clipboard() override { return clipboard_; }
  std::shared_ptr<ui::StatusItem> makeStatusItem(const std::string& id) override;
  FakeScreenCapture& screenCapture() override { return screenCapture_; }
  std::unique_ptr<ui::GlobalHotKey> makeGlobalHotKey(std::function<void()> pressed) override;
  void setKeyObserver(ui::KeyObserver observer) override { keyObserver_ = std::move(observer); }
  void setApplicationMenu(ui::AppMenu menu) override { appMenu_ = std::move(menu); }
  void hideOtherApplications() override { ++otherApplicationsHidden_; }
  int otherApplicationsHidden() const { return otherApplicationsHidden_; }
  // The application menu last set; empty before.
  const ui::AppMenu& applicationMenu() const { return appMenu_; }
  // A key went down or up in `window`: answers whether the observer kept it
  // from the page (false without an observer).
  bool sendKey(ui::WebWindow& window, const ui::KeyEvent& event) {
    return keyObserver_ && keyObserver_(window, event);
  }
  // The last global hot key made, null before; valid while its owner keeps it.
  FakeGlobalHotKey* globalHotKey() const { return globalHotKey_; }

  // The last status item made, null before.
  const std::shared_ptr<FakeStatusItem>& statusItem() const { return statusItem_; }
  std::string statusItemId() const { return statusItemId_; }

  // The screen work area of the windows made from now on.
  void setScreenArea(const ui::Rect& area) { screen_ = area; }
  // Every window made, in order.
  const std::vector<std::shared_ptr<FakeUiWindow>>& windows() const { return windows_; }
  FakeUiWindow& lastWindow() const { return *windows_.back(); }

 private:
  std::int64_t nextHwnd_ = 1;
  ui::Rect screen_{0, 0, 1280, 1024};
  std::vector<std::shared_ptr<FakeUiWindow>> windows_;
  FakeDialogs dialogs_;
  FakeNotifier notifier_;
  FakeClipboard clipboard_;
  FakeScreenCapture screenCapture_;
  std::shared_ptr<FakeStatusItem> statusItem_;
  FakeGlobalHotKey* globalHotKey_ = nullptr;  // owned by its maker's caller
  ui::KeyObserver keyObserver_;
  std::string statusItemId_;
  ui::AppMenu appMenu_;
  int otherApplicationsHidden_ = 0;
};

// Registers a FakeUi for the scope (ui::setUi), and takes it back.
class ScopedFakeUi {
 public:
  ScopedFakeUi();
  ~ScopedFakeUi();
  ScopedFakeUi(const ScopedFakeUi&) = delete;
  ScopedFakeUi& operator=(const ScopedFakeUi&) = delete;
  FakeUi& operator*() const { return *ui_; }
  FakeUi* operator->() const { return ui_.get(); }

 private:
  std::shared_ptr<FakeUi> ui_;
};

}  // namespace nb::test
