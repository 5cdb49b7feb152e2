#include "shell/update/UpdatePages.h"

#include "api/server/ServerInfo.h"
#include "foundation/app/AppState.h"
#include "foundation/app/PageEvent.h"
#include "foundation/json/Json.h"
#include "shell/windows/WindowDirectory.h"

namespace nb::update {

void sendToUpdateWindow(std::string_view name, std::string_view json) {
  const std::optional<PageEvent> event = PageEvent::fromJsonText(name, json);
  if (!event) return;
  if (auto directory = currentWindowDirectory("update window")) {
    directory->sendToUpdateWindow(*event);
  }
}

void broadcastCheckUpdate(std::string_view status) {
  const auto event =
      PageEvent::make("gCheckUpdate", JsonValue::object({{"status", std::string(status)}}));
  if (event) Util::getAppDelegate()->setAllCustomEvent(*event);
}

bool askFirst() { return ServerInfo::current()->bShowUpdate(); }

}  // namespace nb::update
