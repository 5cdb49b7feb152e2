#pragma once
// The effects of pushed messages, by act: library refreshes, favourite
// changes, the account re-read and the shortcut refresh. Registered as the
// push-message parser's handler (SocketParseMessage::setShared) at start-up;
// storing the chat messages is the parser's own part.
//
// Threads: main thread. The account re-read fetches on the task queue and
// applies its answer back on the main thread.

#include <functional>
#include <string>

#include "stores/messages/SocketParseMessage.h"

namespace nb {

class WebWindowController;

class SocketParseActions final : public SocketParseMessage {
 public:
  // Fetches the shortcuts and hands them to the window ("gUpdateShortcuts").
  using ShortcutsCheck = std::function<void(WebWindowController& window)>;

  // Registers a new handler as the parser's.
  static void registerShared();
  // The shell's shortcut refresh; while none is registered a request is
  // logged as an error and does nothing.
  static void setShortcutsCheck(ShortcutsCheck check);

  std::string perform(const SocketActionItem& item, BaseController* controller) override;

  // Each answers the success status.
  static std::string actionFavorite(const JsonValue& metadata);
  static std::string actionApi(const JsonValue& metadata, BaseController* controller);
  static void modifyOrg(const JsonValue& metadata);
};

}  // namespace nb
