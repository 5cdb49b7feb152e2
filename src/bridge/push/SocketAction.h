#pragma once
// Pushed messages a page relays from the service's push channel: read into
// message items and handed, for the "message" event only, to the
// push-message parser, which acts on them and stores the chat messages.
//
// Threads: main thread, inside the page call.

#include <string>

#include "stores/messages/SocketActionItem.h"

namespace nb {

class BaseController;

class SocketAction {
 public:
  // One message's JSON text: the parser's answer; 10007 for an empty text or
  // one that is no JSON object.
  static std::string action(const std::string& json, const std::string& event,
                            BaseController* controller);
  // {"list":[message, ...]}: each message in order, answers dropped; then
  // the success status. 10007 for an empty text, no object, or a "list"
  // that is no array. Elements that are no object are skipped: they would
  // be stored as blank messages.
  static std::string actionList(const std::string& json, const std::string& event,
                                BaseController* controller);
  // The event filter: "message" goes to the parser; any other event does
  // nothing and answers the success status.
  static std::string parse(const SocketActionItem& item, const std::string& event,
                           BaseController* controller);
};

}  // namespace nb
