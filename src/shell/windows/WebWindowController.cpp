#include "shell/windows/WebWindowController.h"

#include <utility>

#include "foundation/app/AppState.h"
#include "foundation/json/Json.h"
#include "platform/Log.h"
#include "shell/windows/PageEventText.h"
#include "shell/windows/WindowRelay.h"

namespace nb {

WebWindowController::WebWindowController(std::shared_ptr<ui::WebWindow> window)
    : window_(std::move(window)), desktopId_(getdesktopid()) {}

WebWindowController::~WebWindowController() = default;

void WebWindowController::connect() {
  std::weak_ptr<WebWindowController> weak = weak_from_this();
  ui::WebWindow::Handlers handlers;
  handlers.loadFinished = [weak] {
    auto self = weak.lock();
    if (!self) return;
    self->pageLoaded();
    if (self->observer_.loadFinished) self->observer_.loadFinished();
  };
  handlers.scriptDialog = [weak](ui::ScriptDialogKind kind, const std::string& message) {
    auto self = weak.lock();
    return self && self->observer_.scriptDialog && self->observer_.scriptDialog(kind, message);
  };
  handlers.titleChanged = [weak](const std::string& title) {
    auto self = weak.lock();
    if (self && self->observer_.titleChanged) self->observer_.titleChanged(title);
  };
  handlers.closeRequested = [weak] {
    auto self = weak.lock();
    return self ? self->windowShouldClose() : true;
  };
  handlers.closed = [weak](bool wasVisible) {
    if (auto self = weak.lock()) self->windowClosed(wasVisible);
  };
  handlers.fileDrop = [weak](const ui::FileDrop& drop) {
    if (auto self = weak.lock()) self->storeDrop(drop);
  };
  handlers.dragOutEnded = [weak](const std::optional<std::string>& folder) {
    if (auto self = weak.lock()) self->dragfinish(folder);
  };
  window_->setHandlers(std::move(handlers));
}

// --- Page events ---------------------------------------------------------------------------

void WebWindowController::setCustomEvent(const PageEvent& event) { window_->raiseEvent(event); }

void WebWindowController::setCustomEvent(const std::string& name, const std::string& text) {
  if (auto event = pageEventFromText(name, text)) setCustomEvent(*event);
}

// --- Page ----------------------------------------------------------------------------------

void WebWindowController::setStrUrl(std::string url) {
  if (url.empty()) return;
  fields_.set(strUrl_, std::move(url));
}

std::optional<std::string> WebWindowController::acceptLanguage() const {
  return Util::getAppDelegate()->languageWithWebUrlString();
}

void WebWindowController::reload(bool flag) {
  const std::string url = strUrl();
  if (!alreadyload_ && !url.empty()) {
    window_->load(url, acceptLanguage());
    alreadyload_ = true;
  } else if (flag) {
    window_->reload();
  }
}

void WebWindowController::storeDrop(const ui::FileDrop& drop) {
  if (drop.paths.empty()) return;
  std::vector<JsonValue> list;
  list.reserve(drop.paths.size());
  for (const std::string& path : drop.paths) list.push_back(JsonValue::object({{"path", path}}));
  // The page was written for 32-bit coordinates.
  const JsonValue info =
      JsonValue::object({{"list", JsonValue::array(std::move(list))},
                         {"x", static_cast<double>(static_cast<float>(drop.x))},
                         {"y", static_cast<double>(static_cast<float>(drop.y))}});
  if (auto text = JSONString(info)) fields_.set(jsonInfo_, std::optional<std::string>(*text));
}

std::optional<std::string> WebWindowController::dragInformation() {
  std::lock_guard lock(fields_.mutex());
  return std::exchange(jsonInfo_, std::nullopt);
}

// --- Drag-out ------------------------------------------------------------------------------

void WebWindowController::setDragOutTarget(DragOutTarget target) { dragOut_ = std::move(target); }

void WebWindowController::dragfinish(const std::optional<std::string>& folder) {
  if (!dragOut_) return;
  const DragOutTarget target = std::exchange(dragOut_, std::nullopt).value();
  // No window-at-point query exists here: the desktop and file-manager
  // windows are known only when the target spoke XDS and named its folder.
  if (folder && !folder->empty()) {
    if (target.handledrag2finder) target.handledrag2finder(*folder);
  } else if (target.handledrag2otherapps) {
    target.handledrag2otherapps();
  }
}

// --- Closing -------------------------------------------------------------------------------

void WebWindowController::leaveFullScreenOrHide() {
  if (window_->isFullScreen()) {
    window_->setFullScreen(false);
  } else {
    window_->hide();
  }
}

bool WebWindowController::windowShouldClose() {
  if (bNotClose_) {
    leaveFullScreenOrHide();
    return false;
  }
  const std::string json = jsonString();
  if (!json.empty()) {
    if (auto relay = currentWindowRelay("closing window")) relay->gCloseCurrentPath(json);
  }
  return true;
}

void WebWindowController::windowClosed(bool) {
  if (auto relay = currentWindowRelay("closed window")) relay->windowClosed(shared_from_this());
}

}  // namespace nb
