#include "bridge/functions/ShellApp.h"

#include "foundation/app/AppState.h"
#include "platform/Log.h"
#include "shell/app/AppDelegate.h"

namespace nb::bridge {

std::shared_ptr<AppDelegate> shellApp(std::string_view fn) {
  auto app = std::dynamic_pointer_cast<AppDelegate>(Util::getAppDelegate());
  if (!app) NBLOG_ERROR("{}: the shell's application state is not registered", fn);
  return app;
}

}  // namespace nb::bridge
