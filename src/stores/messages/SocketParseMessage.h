#pragma once
// The push-message parser: what happens to a message item that a page
// pushes or hands to the message store's "addmessage" commands. The effect
// of each act (refreshing favourites, offline files, members, ...) belongs
// to the web UI bridge, which registers its handler at start-up; storing the
// message in the session's message store is done here.

#include <memory>
#include <string>

#include "stores/messages/SocketActionItem.h"

namespace nb {

// The bridge's window controller of a page; opaque below the bridge.
class BaseController;
class MessageDb;

class SocketParseMessage {
 public:
  virtual ~SocketParseMessage() = default;

  // Performs the effect `item`'s act asks for and answers the act handler's
  // text (or the success status answer). `controller` (not owned, may be
  // null) is the page that delivered the item. Called on the delivering
  // thread; an exception it lets out is caught and logged by parse.
  virtual std::string perform(const SocketActionItem& item, BaseController* controller) = 0;

  // The handler the bridge registered; null until then, in which case acts
  // have no effect beyond storing. Safe from any thread.
  static void setShared(std::shared_ptr<SocketParseMessage> handler);
  static std::shared_ptr<SocketParseMessage> shared();

  // Whether the item is a chat message kept in the message store: every act
  // but "api_ent", "favorite", "offline", and "api_member" of type "sys_in".
  static bool storesMessage(const SocketActionItem& item);

  // Runs the registered effect, then stores `item.change()` in `store` when
  // storesMessage says so and `store` (the session's message store, null
  // between sessions) is there. Answers the effect's text, or the success
  // status answer without a handler.
  static std::string parse(const SocketActionItem& item, BaseController* controller,
                           MessageDb* store);
};

}  // namespace nb
