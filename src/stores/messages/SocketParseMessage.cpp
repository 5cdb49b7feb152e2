#include "stores/messages/SocketParseMessage.h"

#include <mutex>

#include "foundation/util/UtilStatus.h"
#include "platform/Log.h"
#include "stores/messages/MessageDb.h"

namespace nb {

namespace {

std::mutex handlerMutex;
std::shared_ptr<SocketParseMessage> handler;  // guarded by handlerMutex

}  // namespace

void SocketParseMessage::setShared(std::shared_ptr<SocketParseMessage> newHandler) {
  std::lock_guard lock(handlerMutex);
  handler = std::move(newHandler);
}

std::shared_ptr<SocketParseMessage> SocketParseMessage::shared() {
  std::lock_guard lock(handlerMutex);
  return handler;
}

bool SocketParseMessage::storesMessage(const SocketActionItem& item) {
  const std::string& act = item.strAct;
  if (act == "api_ent" || act == "favorite" || act == "offline") return false;
  return !(act == "api_member" && item.strType == "sys_in");
}

std::string SocketParseMessage::parse(const SocketActionItem& item, BaseController* controller,
                                      MessageDb* store) {
  std::string answer = Util::errorInfoWithCode(Util::kStatusOk);
  if (const auto effect = shared()) {
    try {
      answer = effect->perform(item, controller);
    } catch (const std::exception& e) {
      NBLOG_ERROR("push message {} act {}: {}", item.strID, item.strAct, e.what());
    }
  }
  if (store != nullptr && storesMessage(item)) store->addDialogMessage(item.change());
  return answer;
}

}  // namespace nb
