#include "bridge/push/SocketAction.h"

#include <optional>

#include "foundation/json/Json.h"
#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "stores/messages/SocketParseMessage.h"
#include "sync/centre/SyncCenter.h"

namespace nb {

namespace {

std::optional<JsonValue> messageObject(const std::string& json) {
  if (json.empty()) return std::nullopt;
  std::optional<JsonValue> value = dictionaryFromString(json);
  if (!value || !value->isObject()) return std::nullopt;
  return value;
}

SocketActionItem itemFrom(const JsonValue& object) {
  SocketActionItem item;
  item.setValueWithJson(object);
  return item;
}

}  // namespace

std::string SocketAction::action(const std::string& json, const std::string& event,
                                 BaseController* controller) {
  const std::optional<JsonValue> object = messageObject(json);
  if (!object) return Util::errorInfoWithCode(Util::kBadParameters);
  return parse(itemFrom(*object), event, controller);
}

std::string SocketAction::actionList(const std::string& json, const std::string& event,
                                     BaseController* controller) {
  const std::optional<JsonValue> object = messageObject(json);
  if (!object) return Util::errorInfoWithCode(Util::kBadParameters);
  const JsonValue& list = (*object)["list"];
  if (!list.isArray()) return Util::errorInfoWithCode(Util::kBadParameters);
  for (const JsonValue& element : list.elements()) {
    if (!element.isObject()) {
      NBLOG_WARN("a pushed list element that is no object is skipped");
      continue;
    }
    parse(itemFrom(element), event, controller);
  }
  return Util::errorInfoWithCode(Util::kStatusOk);
}

std::string SocketAction::parse(const SocketActionItem& item, const std::string& event,
                                BaseController* controller) {
  if (event != "message") return Util::errorInfoWithCode(Util::kStatusOk);
  // Held for the call, so a session ending meanwhile closes the store after.
  const std::shared_ptr<MessageDb> store = SyncCenter::shareSyncCenter().messagedb();
  return SocketParseMessage::parse(item, controller, store.get());
}

}  // namespace nb
