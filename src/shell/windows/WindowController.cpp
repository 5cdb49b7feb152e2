#include "shell/windows/WindowController.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>

#include "api/server/ServerInfo.h"
#include "foundation/util/UserDefaults.h"
#include "platform/GObjectPtr.h"
#include "platform/Log.h"
#include "shell/ui/Ui.h"
#include "shell/windows/WebViewDelegate.h"
#include "shell/windows/WindowPages.h"

namespace nb {

namespace {

// Every plain window lives until it is closed. Main thread only.
std::vector<std::shared_ptr<WindowController>>& registry() {
  static std::vector<std::shared_ptr<WindowController>> open;
  return open;
}

std::string defaultResourceFolder() { return ServerInfo::current()->folders().installDir.string(); }

std::optional<ui::Rect> savedFrame() {
  const auto text = UserDefaults::standardUserDefaults().stringForKey(WindowController::kFrameKey);
  ui::Rect frame;
  if (!text || std::sscanf(text->c_str(), "%lf %lf %lf %lf", &frame.x, &frame.y, &frame.width,
                           &frame.height) != 4 ||
      frame.width <= 0 || frame.height <= 0) {
    return std::nullopt;
  }
  return frame;
}

void saveFrame(const ui::Rect& frame) {
  char text[128];
  std::snprintf(text, sizeof text, "%.0f %.0f %.0f %.0f", frame.x, frame.y, frame.width,
                frame.height);
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  defaults.setObject(text, WindowController::kFrameKey);
  defaults.synchronize();
}

}  // namespace

std::string WindowController::resolve(const std::string& url, const std::string& resourceFolder) {
  if (url.empty()) return {};
  if (g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr)) return url;
  platform::GCharPtr base(g_filename_to_uri((resourceFolder + "/").c_str(), nullptr, nullptr));
  if (!base) return {};
  platform::GCharPtr resolved(g_uri_resolve_relative(base.get(), url.c_str(), G_URI_FLAGS_NONE, nullptr));
  return resolved ? std::string(resolved.get()) : std::string();
}

std::vector<std::shared_ptr<WindowController>> WindowController::openWindows() { return registry(); }

std::shared_ptr<WindowController> WindowController::initWithURL(ui::Ui& ui, const std::string& url,
                                                                const std::string& resourceFolder) {
  const std::string folder = resourceFolder.empty() ? defaultResourceFolder() : resourceFolder;
  const std::string resolved = resolve(url, folder);
  if (resolved.empty()) {
    NBLOG_WARN("a plain window was asked for an address that names nothing");
    return nullptr;
  }
  return make(ui, resolved, folder, true);
}

std::shared_ptr<WindowController> WindowController::initWithRequest(
    ui::Ui& ui, const std::string& uri, const std::string& resourceFolder) {
  if (uri.empty()) return nullptr;
  return make(ui, uri, resourceFolder.empty() ? defaultResourceFolder() : resourceFolder, false);
}

std::shared_ptr<WindowController> WindowController::make(ui::Ui& ui, const std::string& url,
                                                         const std::string& resourceFolder,
                                                         bool restoreFrame) {
  ui::WebWindowOptions options = webWindowOptions(ui::WindowKind::Plain);
  options.contextMenu = false;
  auto window = ui.makeWebWindow(options);
  if (!window) return nullptr;
  auto controller = std::make_shared<WindowController>(ui, window, restoreFrame ? url : std::string(),
                                                       resourceFolder);
  controller->start(restoreFrame);
  window->load(url, std::nullopt);
  registry().push_back(controller);
  return controller;
}

WindowController::WindowController(ui::Ui& ui, std::shared_ptr<ui::WebWindow> window,
                                   std::string url, const std::string& resourceFolder)
    : window_(std::move(window)),
      url_(std::move(url)),
      delegate_(std::make_unique<WebViewDelegate>(ui, window_, resourceFolder)) {}

WindowController::~WindowController() = default;

void WindowController::start(bool restoreFrame) {
  if (restoreFrame) {
    if (const auto frame = savedFrame()) window_->setFrame(*frame);
  }
  delegate_->install();
  std::weak_ptr<WindowController> weak = weak_from_this();
  ui::WebWindow::Handlers handlers;
  handlers.resized = [](const ui::Rect& frame) { saveFrame(frame); };
  handlers.closed = [weak](bool) {
    auto self = weak.lock();
    if (!self) return;
    auto& open = registry();
    open.erase(std::remove(open.begin(), open.end(), self), open.end());
  };
  handlers.scriptDialog = [weak](ui::ScriptDialogKind kind, const std::string& message) {
    auto self = weak.lock();
    return self && self->delegate_->runScriptDialog(kind, message);
  };
  handlers.newWindowRequested = [weak](const std::string& uri) {
    if (auto self = weak.lock()) self->delegate_->createWebViewWithRequest(uri);
  };
  window_->setHandlers(std::move(handlers));
}

void WindowController::showWindow() { window_->present(); }

}  // namespace nb
