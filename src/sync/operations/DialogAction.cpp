#include "sync/operations/DialogAction.h"

#include "stores/messages/MessageDb.h"
#include "sync/centre/SyncCenter.h"

namespace nb {

std::string dialogAction(const JsonValue& cmd, const JsonValue& json, BaseController* controller) {
  const std::shared_ptr<MessageDb> db = SyncCenter::shareSyncCenter().messagedb();
  return MessageDb::action(db.get(), cmd, json, controller);
}

}  // namespace nb
