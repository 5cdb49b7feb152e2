#include "sync/operations/TransferNotices.h"

#include <optional>

#include "foundation/app/AppState.h"
#include "foundation/text/StringHelpers.h"
#include "foundation/util/UtilUrl.h"

namespace nb {

void transferNotice(std::string_view key, const std::string& webpath) {
  const auto app = Util::getAppDelegate();
  if (!app->bPromptMessage()) return;
  std::string text = Util::localizedStringForKey(key);
  if (const size_t at = text.find("%@"); at != std::string::npos) {
    text.replace(at, 2, getFilename(lastremoveslash(webpath)));
  }
  app->setGrowlNotificationDescripation(text, std::nullopt);
}

}  // namespace nb
