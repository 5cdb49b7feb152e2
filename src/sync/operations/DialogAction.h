#pragma once
// The entry of the page function gDialogAction: the message store's commands
// on the session's store, which is the sync centre's messagedb (none between
// sessions, when the commands act on nothing).

#include <string>

#include "foundation/json/JsonValue.h"

namespace nb {

class BaseController;

// MessageDb::action on SyncCenter::shareSyncCenter().messagedb(). The store
// is held for the length of the call, so a session ending meanwhile closes
// it only afterwards. `controller` (not owned, may be null) is the calling
// page. Callable from any thread; the bridge calls it on the main thread.
std::string dialogAction(const JsonValue& cmd, const JsonValue& json, BaseController* controller);

}  // namespace nb
