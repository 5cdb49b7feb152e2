#include "bridge/windows/PageEventRoutes.h"

#include <algorithm>
#include <array>

namespace nb::bridge {

namespace {

using T = EventTarget;

constexpr std::array kRoutes = std::to_array<PageEventRoute>({
    {"LoginResult", T::SignIn},
    {"QuitNotice", T::Window},
    {"PostMessage", T::Named},
    {"gReceiveMessage", T::Main},
    {"gCloseCurrentPath", T::Main, true},
    {"OpenMountPath", T::Main, true},
    {"gCloseWindow", T::All},
    {"UpdateFileList", T::FileWindows},
    {"UpdateFileInfo", T::FileWindows},
    {"gLastUpdateDateline", T::Main, true},
    {"LinkStatus", T::All},
    {"TransferState", T::Main},
    {"OpenFileFinish", T::Window},
    {"gCompareNotifyReset", T::Main, true},
    {"AddOrgObject", T::All},
    {"EditOrgObject", T::All},
    {"RemoveOrgObject", T::All},
    {"AddEntObject", T::All},
    {"EditEntObject", T::All},
    {"RemoveEntObject", T::All},
    {"AddMagicObject", T::All},
    {"RemoveMagicObject", T::All},
    {"gUpdateShortcuts", T::Window},
    {"gHaveShortcuts", T::Main},
    {"ShowAction", T::Main},
    {"ShowLockScreenDialog", T::Main},
    {"LoadFinish", T::Main, true},
    {"gCheckUpdate", T::All},
    {"gExeUpdateInfo", T::UpdateWindow},
    {"gExeUpdateProgress", T::UpdateWindow},
    {"gExeUpdateFinish", T::UpdateWindow},
});

}  // namespace

std::span<const PageEventRoute> pageEventRoutes() { return kRoutes; }

std::optional<PageEventRoute> pageEventRoute(std::string_view name) {
  const auto it = std::find_if(kRoutes.begin(), kRoutes.end(),
                               [name](const PageEventRoute& r) { return r.name == name; });
  if (it == kRoutes.end()) return std::nullopt;
  return *it;
}

}  // namespace nb::bridge
