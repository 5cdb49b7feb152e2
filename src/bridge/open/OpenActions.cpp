#include "bridge/open/OpenActions.h"

#include <mutex>

#include "api/session/UserData.h"
#include "bridge/windows/WindowRegistry.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilDesktop.h"
#include "platform/Log.h"
#include "platform/MainThread.h"

namespace nb::bridge {

namespace {

std::mutex actionsMutex;
OpenActions registered;  // guarded by actionsMutex

std::string extensionOf(const std::string& path) {
  const std::string name = getFilename(path);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

}  // namespace

OpenActions openActions() {
  OpenActions actions;
  {
    std::lock_guard lock(actionsMutex);
    actions = registered;
  }
  if (!actions.desktop) actions.desktop = &Util::MyOpenFile;
  if (!actions.note) {
    actions.note = [](const std::string& path, std::int64_t mountid, const std::string& webpath,
                      std::int64_t hwnd) {
      if (auto registry = currentWindowRegistry("openNote")) {
        registry->openNote(path, mountid, webpath, hwnd);
      }
    };
  }
  return actions;
}

void setOpenActions(OpenActions actions) {
  std::lock_guard lock(actionsMutex);
  registered = std::move(actions);
}

std::string allowedApplication(const std::string& path, const std::string& specify) {
  if (specify.empty() || specify == "openwith") return specify;
  const std::string cacheTemp = UserData::shareUserData().getcachetemp();
  for (const platform::AppChoice& app : Util::openWithChoices(extensionOf(path), cacheTemp)) {
    if (app.id == specify) return specify;
  }
  NBLOG_WARN("application {} is not offered for {}: the default one opens it", specify, path);
  return {};
}

void openWithDesktop(const std::string& path, const std::string& type,
                     const std::string& specify) {
  platform::MainThread::post(
      [path, type, specify] { openActions().desktop(path, type, specify); });
}

void openInNoteEditor(const std::string& path, std::int64_t mountid, const std::string& webpath,
                      std::int64_t hwnd) {
  platform::MainThread::post(
      [path, mountid, webpath, hwnd] { openActions().note(path, mountid, webpath, hwnd); });
}

}  // namespace nb::bridge
