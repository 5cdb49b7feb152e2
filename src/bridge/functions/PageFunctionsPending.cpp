// Page functions whose bodies are not built yet answer the failure status,
// so a page waiting on a callback hears back instead of hanging.

#include "bridge/dispatch/PageHandlers.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"

namespace nb::bridge {

PageHandler pendingPageHandler(std::string_view name) {
  return [fn = std::string(name)](const PageCall&, WebWindowController&) {
    NBLOG_ERROR("page function {} is not built", fn);
    return std::optional<std::string>(Util::errorInfoWithCode(Util::kStatusFailed));
  };
}

}  // namespace nb::bridge
