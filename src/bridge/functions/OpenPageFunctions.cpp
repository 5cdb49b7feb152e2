#include "bridge/functions/OpenPageFunctions.h"

#include <exception>

#include "api/session/UserData.h"
#include "bridge/dispatch/PageHandlers.h"
#include "bridge/functions/PageArgs.h"
#include "bridge/open/FileOpen.h"
#include "foundation/json/Json.h"
#include "foundation/util/UtilDesktop.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "shell/windows/WebWindowController.h"

namespace nb::bridge {

namespace {

using Answer = std::optional<std::string>;

Answer gOpen(const PageCall& call, WebWindowController& window) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return Util::errorInfoWithCode(Util::kBadParameters);
  NBLOG_DEBUG("{}", call.json());
  FileOpen open(OpenRequest::from(*args), window.hwnd());
  try {
    return open.run();
  } catch (const std::exception& e) {
    NBLOG_ERROR("exception: {} ", e.what());
    return open.plainAnswer();
  }
}

Answer gGetOpenWithMenu(const PageCall& call, WebWindowController&) {
  const std::optional<JsonValue> args = pageObject(call);
  if (!args) return loggedAnswer(call, "{}");
  return loggedAnswer(call, Util::methodsWithOpen(jsonTextOrEmpty(*args, "ext"),
                                                  UserData::shareUserData().getcachetemp()));
}

}  // namespace

void registerOpenPageFunctions() {
  setPageHandler("gOpen", gOpen);
  setPageHandler("gGetOpenWithMenu", gGetOpenWithMenu);
}

}  // namespace nb::bridge
