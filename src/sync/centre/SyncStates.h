#pragma once
// The values the sync engine decides with, beside the row statuses of the
// sync store (stores/syncdb/SyncStatus.h): the change feed's commands, the
// link types of linked folders and the permission bits of a library.

#include <cstdint>

namespace nb {

// "cmd" of a change-feed item. Any other value is ignored.
namespace FeedCmd {
// Deleted; with "fullpath_to" moved there, and the move is applied first.
inline constexpr int64_t kDelete = 0;
// Added or changed.
inline constexpr int64_t kAdd = 1;
// The server wants the content uploaded again.
inline constexpr int64_t kReupload = -1;
}  // namespace FeedCmd

// Type of a linked folder (LINKNODE.type). A link stored with 0 is answered
// as 0, which the event handlers, the scan and the page status treat as a
// case of its own.
namespace LinkType {
// The path lies in no linked folder (never stored).
inline constexpr int64_t kNone = -1;
inline constexpr int64_t kUnset = 0;
// The local folder is sent to the server; server changes are only recorded.
inline constexpr int64_t kBackup = 1;
// Two-way.
inline constexpr int64_t kSync = 2;
}  // namespace LinkType

// The user's rights on a library, one bit per word of its "permissions".
namespace Permission {
inline constexpr int64_t kFileWrite = 1;
inline constexpr int64_t kFileDiscuss = 2;
// Grants every per-entry check.
inline constexpr int64_t kFileSync = 4;
inline constexpr int64_t kFileRead = 8;
inline constexpr int64_t kFileDelete = 16;
inline constexpr int64_t kFileUpload = 32;
// Every bit of a 32-bit word: what a library without a readable list gets.
inline constexpr int64_t kAll = 4294967295;
}  // namespace Permission

}  // namespace nb
