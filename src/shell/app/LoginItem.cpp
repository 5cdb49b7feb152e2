#include "shell/app/LoginItem.h"

#include "foundation/util/UtilSession.h"
#include "platform/Log.h"

namespace nb {

void syncLoginItemWithAutorun(bool autorun) {
  const bool present = Util::findAppAsLoginItem();
  if (autorun && !present) {
    NBLOG_INFO("adding the client to the login items");
    Util::addAppAsLoginItem();
  } else if (!autorun && present) {
    NBLOG_INFO("removing the client from the login items");
    Util::deleteAppFromLoginItem();
  }
}

}  // namespace nb
