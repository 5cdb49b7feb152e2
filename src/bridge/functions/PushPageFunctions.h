#pragma once
// The page functions that carry the service's push traffic a page holds:
// pushed messages and lists of them, the message store's commands, message
// notices and counts, compare notices and the push channel's state.

namespace nb::bridge {

// Also registers the effects of pushed messages with the message parser.
void registerPushPageFunctions();

}  // namespace nb::bridge
