#pragma once
// Sync status codes of a file row (SYNC.status, SyncFileItem::nStatus). The
// sync engine decides them; the sync store only keeps and selects them.

#include <cstdint>

namespace nb::SyncStatus {

// Never stored: the status of a record that a lookup did not find.
inline constexpr int64_t kNotFound = -1;
// Waiting for upload; also what a deletion mark is turned back into.
inline constexpr int64_t kUploadPending = 1;
inline constexpr int64_t kDownloadPending = 2;
// In sync: what the finishing updates write.
inline constexpr int64_t kSynced = 3;
// Kept on the server only.
inline constexpr int64_t kServerOnly = 4;
// Settled like 3 and 4; the store never writes it.
inline constexpr int64_t kSettled = 5;
// Deletion marks: listings and counts leave them out.
inline constexpr int64_t kRemovedOnServer = 6;
inline constexpr int64_t kDeletedLocally = 7;
// The server wants the content again; pending like an upload.
inline constexpr int64_t kReupload = 8;
// Laid over a whole subtree while it is re-listed; rows still holding it
// afterwards are deleted.
inline constexpr int64_t kResetMark = 9;

}  // namespace nb::SyncStatus
