#pragma once
// Table names of the message store, shared by its source files.

namespace nb::messagedb {

inline constexpr const char* kDialogList = "dialog_list";
inline constexpr const char* kDialogMember = "dialog_member";
inline constexpr const char* kDialogMessage = "dialog_message";
inline constexpr const char* kTableDateline = "TableDateline";

}  // namespace nb::messagedb
